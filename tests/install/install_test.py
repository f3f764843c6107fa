#!/usr/bin/env python3
"""Installs the build into a temporary DESTDIR and checks what a desktop user and a packager get:
the program runs from there against the installed simulator, the listed files are in place, the
desktop entry, metainfo and udev rule are valid, and the manual pages list exactly the options
(and the tool's commands) --help prints.

usage: install_test.py CMAKE BUILD_DIR PKGLIBDIR UDEV_RULES_DIR
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

APP_ID = "org.quillon.Utility"
failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def run(args, env=None, timeout=20):
    if not shutil.which(args[0]):
        sys.exit(f"FAIL: {args[0]} not found; scripts/install-deps.sh installs it")
    return subprocess.run(args, env=env, timeout=timeout, capture_output=True, text=True)


def png_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    return struct.unpack(">II", header[16:24]) if header[:8] == b"\x89PNG\r\n\x1a\n" else None


def check_files(usr, pkglibdir, udev_dir):
    programs = ["bin/quillon-utility", "bin/quillonctl", f"{pkglibdir}/quillon-sim-pty"]
    for path in programs + [
            f"{pkglibdir}/libquillon-sim.so", f"{pkglibdir}/libquillon-tty.so",
            f"share/applications/{APP_ID}.desktop", f"share/metainfo/{APP_ID}.metainfo.xml",
            f"share/icons/hicolor/scalable/apps/{APP_ID}.svg", "share/man/man1/quillon-utility.1",
            "share/man/man1/quillonctl.1", f"{udev_dir}/70-quillon-utility.rules"]:
        if not os.path.isfile(os.path.join(usr, path)):
            fail(f"not installed: /usr/{path}")
        elif path in programs and not os.access(os.path.join(usr, path), os.X_OK):
            fail(f"not executable: /usr/{path}")
    # Each icon where its size says, so the menu does not scale the wrong picture.
    for size in (16, 32, 48, 64, 128, 256):
        icon = os.path.join(usr, f"share/icons/hicolor/{size}x{size}/apps/{APP_ID}.png")
        if not os.path.isfile(icon) or png_size(icon) != (size, size):
            fail(f"{icon} is missing or not {size}x{size}")
    # The variants built for tests stay out of the package.
    extra = set(os.listdir(os.path.join(usr, pkglibdir))) - {
        "libquillon-sim.so", "libquillon-tty.so", "quillon-sim-pty"}
    if extra:
        fail(f"unexpected files installed in /usr/{pkglibdir}: {sorted(extra)}")


def check_runs_against_installed_simulator(usr, work, pkglibdir):
    program = usr + "/bin/quillon-utility"
    simulator = os.path.normpath(f"{usr}/{pkglibdir}/libquillon-sim.so")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=work + "/config")
    env.pop("QUILLON_SIM_TRANSCRIPT", None)
    diagnosis = run([program, "--diagnose", "--simulate"], env).stdout
    used = re.search(r"loads (\S+) .*this is the one the program uses", diagnosis)
    if not used or os.path.normpath(used.group(1)) != simulator:
        fail(f"--simulate does not use the installed {simulator}:\n{diagnosis}")
    picture = work + "/panel.png"
    result = run([program, "--simulate", "--screenshot", picture], env)
    if result.returncode != 0 or "USB status: USB ready for communication." not in result.stdout:
        fail(f"the installed program did not reach the simulator ({result.returncode}):\n"
             f"{result.stdout}{result.stderr}")
    if not os.path.isfile(picture) or png_size(picture) is None:
        fail("no screenshot written")


def check_desktop_files(usr):
    result = run(["desktop-file-validate", f"{usr}/share/applications/{APP_ID}.desktop"])
    # Hints are advice; errors and warnings are faults.
    if result.returncode != 0 or re.search(r": (error|warning):", result.stdout):
        fail(f"desktop-file-validate:\n{result.stdout}{result.stderr}")
    result = run(["appstreamcli", "validate", "--no-net",
                  f"{usr}/share/metainfo/{APP_ID}.metainfo.xml"])
    if result.returncode != 0:
        fail(f"appstreamcli validate:\n{result.stdout}{result.stderr}")


UDEV_MATCH_KEYS = {"SUBSYSTEM", "SUBSYSTEMS", "KERNEL", "ACTION", "DRIVER", "DRIVERS", "ENV", "ATTR",
                   "ATTRS", "TAG"}
UDEV_ASSIGN_KEYS = {"TAG", "MODE", "GROUP", "OWNER", "ENV", "RUN", "SYMLINK"}
UDEV_PAIR = re.compile(r'\s*([A-Z]+)(\{[A-Za-z0-9_.]+\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*$')


def check_udev_rule(rules):
    # udev 253 and later check rules themselves; older ones (Debian 12) get the check below.
    if shutil.which("udevadm") and run(["udevadm", "verify", "--help"]).returncode == 0:
        result = run(["udevadm", "verify", "--resolve-names=never", rules])
        if result.returncode != 0:
            fail(f"udevadm verify:\n{result.stdout}{result.stderr}")
    subsystems = set()
    with open(rules, encoding="utf-8") as f:
        lines = [line.strip() for line in f]
    for number, line in enumerate(lines, 1):
        if not line or line.startswith("#"):
            continue
        pairs = {}
        for pair in line.split(","):
            m = UDEV_PAIR.match(pair)
            key, attr, op, value = m.groups() if m else (pair.strip(), None, "?", "")
            known = UDEV_MATCH_KEYS if op in ("==", "!=") else UDEV_ASSIGN_KEYS
            if not m or key not in known or (attr is None) != (key not in ("ENV", "ATTR", "ATTRS")):
                fail(f"udev rule line {number}: {key}{attr or ''}{op} is not a valid key here")
            pairs[key + (attr or "") + op] = value
        if pairs.get("ATTRS{idVendor}==") != "0403" or pairs.get("TAG+=") != "uaccess":
            fail(f"udev rule line {number} does not give FTDI bridges to the seat's user")
        subsystems.add(pairs.get("SUBSYSTEM=="))
    if subsystems != {"usb", "tty"}:
        fail(f"udev rules cover {sorted(map(str, subsystems))}, not the raw USB device and the tty")


def check_manual_page(usr, name):
    # No display at all: --help must not need one.
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    result = run([f"{usr}/bin/{name}", "--help"], env)
    if result.returncode != 0:
        return fail(f"{name} --help without a display exited {result.returncode}: {result.stderr}")
    option = r"--?[A-Za-z?][\w-]*"
    in_help = {"options": set(), "commands": set()}
    section = "options"
    for line in result.stdout.splitlines():
        if not line.startswith(" "):
            section = "commands" if line == "Commands:" else "options"
        elif section == "commands":
            in_help["commands"].add(line.split()[0])
        elif m := re.match(r"\s+(-[^ ].*?)(\s{2,}|$)", line):
            in_help["options"].update(re.findall(option, m.group(1)))
    page = f"{usr}/share/man/man1/{name}.1"
    with open(page, encoding="utf-8") as f:
        text = f.read()
    # The tag line after each .TP names the option(s) or the command it describes.
    for what, heading in (("options", "OPTIONS"), ("commands", "COMMANDS")):
        body = re.search(rf"^\.SH {heading}\n(.*?)^\.SH ", text, re.S | re.M)
        tags = re.findall(r"^\.TP\n(.*)$", body.group(1), re.M) if body else []
        tags = [tag.replace("\\-", "-") for tag in tags]
        in_page = ({o for tag in tags for o in re.findall(option, tag)} if what == "options" else
                   {re.sub(r"^\.B[IR]? ", "", tag).split()[0] for tag in tags})
        if what == "options" and not in_help[what]:
            fail(f"{name}: no options read from --help")
        for item in sorted(in_help[what] - in_page):
            fail(f"{name}: {item} is in --help but not in the manual page")
        for item in sorted(in_page - in_help[what]):
            fail(f"{name}: {item} is in the manual page but not in --help")
    lint = run(["groff", "-man", "-ww", "-z", page])
    if lint.returncode != 0 or lint.stderr.strip():
        fail(f"groff finds faults in the manual page of {name}:\n{lint.stderr}")


def main():
    cmake, build, pkglibdir, udev_dir = sys.argv[1:5]
    with tempfile.TemporaryDirectory(prefix="quillon-install-") as work:
        usr = work + "/root/usr"
        result = run([cmake, "--install", build, "--prefix", "/usr"],
                     dict(os.environ, DESTDIR=work + "/root"), timeout=60)
        if result.returncode != 0:
            sys.exit(f"FAIL: cmake --install:\n{result.stdout}{result.stderr}")
        check_files(usr, pkglibdir, udev_dir)
        if failures:
            return 1
        check_runs_against_installed_simulator(usr, work, pkglibdir)
        check_desktop_files(usr)
        check_udev_rule(f"{usr}/{udev_dir}/70-quillon-utility.rules")
        for name in ("quillon-utility", "quillonctl"):
            check_manual_page(usr, name)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
