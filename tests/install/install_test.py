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
PREFIX = "/usr"
RUN_TIMEOUT = 20

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def need_tool(name):
    path = shutil.which(name)
    if not path:
        sys.exit(f"FAIL: {name} not found; scripts/install-deps.sh installs it")
    return path


def run(args, env=None, timeout=RUN_TIMEOUT):
    return subprocess.run(args, env=env, timeout=timeout, capture_output=True, text=True)


def png_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", header[16:24])


def check_files(root, pkglibdir, udev_dir):
    usr = root + PREFIX
    expected = [
        "bin/quillon-utility",
        "bin/quillonctl",
        f"{pkglibdir}/libquillon-sim.so",
        f"{pkglibdir}/libquillon-tty.so",
        f"{pkglibdir}/quillon-sim-pty",
        f"share/applications/{APP_ID}.desktop",
        f"share/metainfo/{APP_ID}.metainfo.xml",
        f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
        "share/man/man1/quillon-utility.1",
        "share/man/man1/quillonctl.1",
        f"{udev_dir}/70-quillon-utility.rules",
    ]
    for path in expected:
        if not os.path.isfile(os.path.join(usr, path)):
            fail(f"not installed: {PREFIX}/{path}")
    for path in ("bin/quillon-utility", "bin/quillonctl", f"{pkglibdir}/quillon-sim-pty"):
        if not os.access(os.path.join(usr, path), os.X_OK):
            fail(f"not executable: {PREFIX}/{path}")
    # Each icon where its size says, so the menu does not scale the wrong picture.
    for size in (16, 32, 48, 64, 128, 256):
        icon = os.path.join(usr, f"share/icons/hicolor/{size}x{size}/apps/{APP_ID}.png")
        if not os.path.isfile(icon):
            fail(f"icon missing: {icon}")
        elif png_size(icon) != (size, size):
            fail(f"{icon} is {png_size(icon)}, not {size}x{size}")
    # The variants built for tests stay out of the package.
    for name in os.listdir(os.path.join(usr, pkglibdir)):
        if name not in ("libquillon-sim.so", "libquillon-tty.so", "quillon-sim-pty"):
            fail(f"unexpected file installed: {PREFIX}/{pkglibdir}/{name}")


def check_runs_against_installed_simulator(root, work, pkglibdir):
    program = root + PREFIX + "/bin/quillon-utility"
    simulator = os.path.normpath(root + PREFIX + f"/{pkglibdir}/libquillon-sim.so")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=work + "/config")
    env.pop("QUILLON_SIM_TRANSCRIPT", None)

    diagnosis = run([program, "--diagnose", "--simulate"], env)
    used = re.search(r"loads (\S+) .*this is the one the program uses", diagnosis.stdout)
    if not used or os.path.normpath(used.group(1)) != simulator:
        fail(f"--simulate does not use the installed {simulator}:\n{diagnosis.stdout}")

    picture = work + "/panel.png"
    result = run([program, "--simulate", "--screenshot", picture], env)
    if result.returncode != 0:
        fail(f"--screenshot exited {result.returncode}: {result.stderr}")
    if "USB status: USB ready for communication." not in result.stdout:
        fail(f"the installed program did not reach the simulator:\n{result.stdout}{result.stderr}")
    if not os.path.isfile(picture) or png_size(picture) is None:
        fail("no screenshot written")


def check_desktop_files(root):
    desktop = root + PREFIX + f"/share/applications/{APP_ID}.desktop"
    result = run([need_tool("desktop-file-validate"), desktop])
    # Hints are advice; errors and warnings are faults.
    if result.returncode != 0 or re.search(r": (error|warning):", result.stdout):
        fail(f"desktop-file-validate:\n{result.stdout}{result.stderr}")
    metainfo = root + PREFIX + f"/share/metainfo/{APP_ID}.metainfo.xml"
    result = run([need_tool("appstreamcli"), "validate", "--no-net", metainfo])
    if result.returncode != 0:
        fail(f"appstreamcli validate:\n{result.stdout}{result.stderr}")


UDEV_MATCH_KEYS = {"SUBSYSTEM", "SUBSYSTEMS", "KERNEL", "ACTION", "DRIVER", "DRIVERS", "ENV", "ATTR",
                   "ATTRS", "TAG"}
UDEV_ASSIGN_KEYS = {"TAG", "MODE", "GROUP", "OWNER", "ENV", "RUN", "SYMLINK"}
UDEV_PAIR = re.compile(r'\s*([A-Z]+)(\{[A-Za-z0-9_.]+\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*$')


def check_udev_rule(root, udev_dir):
    rules = root + PREFIX + f"/{udev_dir}/70-quillon-utility.rules"
    udevadm = shutil.which("udevadm")
    # udev 253 and later check rules themselves; older ones (Debian 12) get the check below.
    if udevadm and run([udevadm, "verify", "--help"]).returncode == 0:
        result = run([udevadm, "verify", "--resolve-names=never", rules])
        if result.returncode != 0:
            fail(f"udevadm verify:\n{result.stdout}{result.stderr}")
    subsystems = set()
    with open(rules, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            pairs = {}
            for pair in line.split(","):
                m = UDEV_PAIR.match(pair)
                if not m:
                    fail(f"udev rule line {number}: cannot read {pair.strip()!r}")
                    continue
                key, attr, op, value = m.groups()
                known = UDEV_MATCH_KEYS if op in ("==", "!=") else UDEV_ASSIGN_KEYS
                if key not in known or (attr is None) != (key not in ("ENV", "ATTR", "ATTRS")):
                    fail(f"udev rule line {number}: {key}{attr or ''}{op} is not a valid key here")
                pairs[key + (attr or "") + op] = value
            if pairs.get("ATTRS{idVendor}==") != "0403" or pairs.get("TAG+=") != "uaccess":
                fail(f"udev rule line {number} does not give FTDI bridges to the seat's user")
            subsystems.add(pairs.get("SUBSYSTEM=="))
    if subsystems != {"usb", "tty"}:
        fail(f"udev rules cover {sorted(map(str, subsystems))}, not the raw USB device and the tty")


def page_tags(text, section):
    """The words each .TP tag line of a section names, or None without the section."""
    body = re.search(rf"^\.SH {section}\n(.*?)^\.SH ", text, re.S | re.M)
    if not body:
        return None
    return [tag.replace("\\-", "-") for tag in re.findall(r"^\.TP\n(.*)$", body.group(1), re.M)]


def compare(name, what, in_help, in_page):
    if not in_help:
        fail(f"{name}: no {what} read from --help")
    for item in sorted(in_help - in_page):
        fail(f"{name}: {item} is in --help but not in the manual page")
    for item in sorted(in_page - in_help):
        fail(f"{name}: {item} is in the manual page but not in --help")


def check_manual_page(root, name, with_commands=False):
    program = root + PREFIX + "/bin/" + name
    # No display at all: --help must not need one.
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    result = run([program, "--help"], env)
    if result.returncode != 0:
        fail(f"{name} --help without a display exited {result.returncode}: {result.stderr}")
        return
    help_options = set()
    help_commands = set()
    in_commands = False
    for line in result.stdout.splitlines():
        if not line.startswith(" "):
            in_commands = line == "Commands:"
            continue
        if in_commands:
            help_commands.add(line.split()[0])
            continue
        m = re.match(r"\s+(-[^ ].*?)(\s{2,}|$)", line)
        if m:
            help_options.update(re.findall(r"--?[A-Za-z?][\w-]*", m.group(1)))

    page = root + PREFIX + f"/share/man/man1/{name}.1"
    with open(page, encoding="utf-8") as f:
        text = f.read()
    options = page_tags(text, "OPTIONS")
    if options is None:
        fail(f"{name}: the manual page has no OPTIONS section")
        return
    # The tag line after each .TP names the option(s) it describes.
    man_options = set()
    for tag in options:
        man_options.update(re.findall(r"--?[A-Za-z?][\w-]*", tag))
    compare(name, "options", help_options, man_options)
    if with_commands:
        commands = page_tags(text, "COMMANDS") or []
        man_commands = {re.sub(r"^\.B[IR]? ", "", tag).split()[0] for tag in commands}
        compare(name, "commands", help_commands, man_commands)

    groff = need_tool("groff")
    lint = run([groff, "-man", "-ww", "-z", page])
    if lint.returncode != 0 or lint.stderr.strip():
        fail(f"groff finds faults in the manual page of {name}:\n{lint.stderr}")


def main():
    cmake, build, pkglibdir, udev_dir = sys.argv[1:5]
    with tempfile.TemporaryDirectory(prefix="quillon-install-") as work:
        root = work + "/root"
        env = dict(os.environ, DESTDIR=root)
        result = run([cmake, "--install", build, "--prefix", PREFIX], env, timeout=60)
        if result.returncode != 0:
            sys.exit(f"FAIL: cmake --install:\n{result.stdout}{result.stderr}")
        check_files(root, pkglibdir, udev_dir)
        if failures:
            return 1
        check_runs_against_installed_simulator(root, work, pkglibdir)
        check_desktop_files(root)
        check_udev_rule(root, udev_dir)
        check_manual_page(root, "quillon-utility")
        check_manual_page(root, "quillonctl", with_commands=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
