#!/usr/bin/python3
# The Debian packages as CPack builds them: lintian finds no error, the dependencies come from
# dpkg-shlibdeps, each package unpacked runs its programs, and the server's unit passes
# systemd-analyze verify.
#
# usage: package_test.py BUILD_DIR

import glob, os, shutil, subprocess, sys, tempfile, server_test


failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
        print("FAIL: " + message)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


def main(build, out):
    made = run(["cpack", "-G", "DEB", "-B", out], cwd=build)
    check(made.returncode == 0, "cpack failed:\n" + made.stdout + made.stderr)
    debs = {os.path.basename(p).split("_")[0]: p for p in glob.glob(out + "/*.deb")}
    check(sorted(debs) == ["quillon-tango", "quillon-utility"], f"packages: {sorted(debs)}")
    root = os.path.join(out, "root")
    errors = [l for l in run(["lintian"] + list(debs.values())).stdout.splitlines() if l[:2] == "E:"]
    check(not errors, "lintian: " + "; ".join(errors))
    for name, deb in debs.items():
        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
        needed = ["libc6"] + (["libtango"] if name == "quillon-tango" else [])
        check(all(n in depends for n in needed), f"{name}'s dependencies lack {needed}: {depends}")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    status = run([root + "/usr/bin/quillonctl", "--driver", "sim", "status"])
    check(status.returncode == 0 and "shutter" in status.stdout,
          "unpacked quillonctl: " + status.stdout + status.stderr)
    # The unpacked server, on the unpacked simulator.
    server = server_test.Server(out, {"Driver": "sim"}, program=root + "/usr/bin/quillon-tango")
    check(server.proxy.Identity == "QSC10001 V1.0", "the unpacked server reads no identity")
    server.stop()
    unit = glob.glob(root + "/usr/lib/systemd/system/quillon-tango@.service")
    check(len(unit) == 1, "no unit quillon-tango@.service")
    if unit:
        instance = os.path.join(out, "quillon-tango@lab1.service")
        with open(unit[0]) as f:
            text = f.read()
        # The packaged program, whatever prefix the build had (this one's is /usr/local).
        check("\nExecStart=/usr/bin/quillon-tango %i\n" in text, "the unit's ExecStart:\n" + text)
        with open(instance, "w") as f:
            f.write(text.replace("ExecStart=", "ExecStart=" + root))
        verify = run(["systemd-analyze", "verify", instance])
        check(verify.returncode == 0 and not verify.stderr.strip(),
              "systemd-analyze verify: " + verify.stderr)


if __name__ == "__main__":
    for program in ("cpack", "lintian", "dpkg-shlibdeps", "systemd-analyze"):
        check(shutil.which(program), f"{program} not found; scripts/install-deps.sh installs it")
    with tempfile.TemporaryDirectory() as temporary:
        if not failures:
            main(sys.argv[1], temporary)
    sys.exit(1 if failures else 0)
