#!/usr/bin/python3
# The Debian packages as CPack builds them: lintian finds no error, the dependencies come from
# dpkg-shlibdeps, each package unpacked runs its programs, and the server's unit names the
# packaged program and passes systemd-analyze verify.
#
# usage: package_test.py BUILD_DIR

import glob, os, shutil, subprocess, sys, tempfile, server_test


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


def main(build, out):
    for program in ("cpack", "lintian", "dpkg-shlibdeps", "systemd-analyze"):
        assert shutil.which(program), f"{program} not found; scripts/install-deps.sh installs it"
    made = run(["cpack", "-G", "DEB", "-B", out], cwd=build)
    assert made.returncode == 0, "cpack failed:\n" + made.stdout + made.stderr
    debs = {os.path.basename(p).split("_")[0]: p for p in glob.glob(out + "/*.deb")}
    assert sorted(debs) == ["quillon-tango", "quillon-utility"], f"packages: {sorted(debs)}"
    errors = [l for l in run(["lintian"] + list(debs.values())).stdout.splitlines() if l[:2] == "E:"]
    assert not errors, "lintian: " + "; ".join(errors)
    root = os.path.join(out, "root")
    for name, deb in debs.items():
        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
        needed = ["libc6"] + (["libtango"] if name == "quillon-tango" else [])
        assert all(n in depends for n in needed), f"{name}'s dependencies lack {needed}: {depends}"
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    status = run([root + "/usr/bin/quillonctl", "--driver", "sim", "status"])
    assert status.returncode == 0 and "shutter" in status.stdout, status.stdout + status.stderr
    # The unpacked server, on the unpacked simulator.
    server = server_test.Server(out, {"Driver": "sim"}, program=root + "/usr/bin/quillon-tango")
    assert server.proxy.Identity == "QSC10001 V1.0", "the unpacked server reads no identity"
    server.stop()
    with open(root + "/usr/lib/systemd/system/quillon-tango@.service") as f:
        unit = f.read()
    # The packaged program, whatever prefix the build had (this one's is /usr/local).
    assert "\nExecStart=/usr/bin/quillon-tango %i\n" in unit, "the unit's ExecStart:\n" + unit
    instance = os.path.join(out, "quillon-tango@lab1.service")
    with open(instance, "w") as f:
        f.write(unit.replace("ExecStart=", "ExecStart=" + root))
    verify = run(["systemd-analyze", "verify", instance])
    assert verify.returncode == 0 and not verify.stderr.strip(), verify.stderr


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as temporary:
        main(sys.argv[1], temporary)
