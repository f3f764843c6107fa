#!/usr/bin/python3
# quillon-tango as a facility runs it: MariaDB and the TANGO database server on loopback ports in
# a temporary folder, the server registered with tango_admin and reached by name through
# TANGO_HOST; a 200-cycle run's change events, each cycle exactly once.
#
# usage: database_test.py BUILD_DIR

import os, shutil, subprocess, sys, tempfile

from server_test import free_port, until

SCHEMA = "/usr/share/dbconfig-common/data/tango-db/install/mysql"
DEADLINE = 30
CYCLES = 200


def ok(*args):
    return subprocess.run(args, capture_output=True).returncode == 0


def main(build, folder, cycles=CYCLES):
    children = []

    def start(args, **kwargs):
        children.append(subprocess.Popen(args, stdout=subprocess.DEVNULL, **kwargs))

    try:
        data, sock = os.path.join(folder, "db"), os.path.join(folder, "sock")
        root = ["--user=root"] if os.getuid() == 0 else []
        subprocess.run(["mariadb-install-db", "--datadir=" + data, "--auth-root-authentication-method=normal"] + root,
                       check=True, capture_output=True)
        db_port = free_port()
        start(["mariadbd", "--no-defaults", "--datadir=" + data, "--socket=" + sock,
               f"--port={db_port}", "--bind-address=127.0.0.1", "--skip-grant-tables"] + root,
              stderr=subprocess.DEVNULL)
        sql = ["mariadb", "--no-defaults", "--socket=" + sock, "-uroot"]
        until(lambda: ok(*sql, "-e", "select 1"), "MariaDB")
        subprocess.run(sql + ["-e", "create database tango"], check=True)
        with open(SCHEMA) as schema:
            subprocess.run(sql + ["tango"], stdin=schema, check=True)
        tango_port = free_port()
        os.environ["TANGO_HOST"] = f"127.0.0.1:{tango_port}"
        start(["/usr/lib/tango/DataBaseds", "2", "-ORBendPoint", f"giop:tcp:127.0.0.1:{tango_port}"],
              env=dict(os.environ, MYSQL_USER="root", MYSQL_PASSWORD="",
                       MYSQL_HOST=f"127.0.0.1:{db_port}", MYSQL_DATABASE="tango"))
        until(lambda: ok("tango_admin", "--ping-database"), "DataBaseds")
        name = "test/shutter/db"
        assert ok("tango_admin", "--add-server", "QuillonTango/db", "QuillonShutter", name)
        assert ok("tango_admin", "--add-property", name, "Driver", "sim")
        start([os.path.join(build, "quillon-tango"), "db", "-ORBendPoint",
               f"giop:tcp:127.0.0.1:{free_port()}"])
        import tango  # after TANGO_HOST is set

        dev = tango.DeviceProxy(name)
        until(lambda: ok("tango_admin", "--ping-device", name), "the server")
        dev.Mode, dev.ClosedTime, dev.ExposureTime, dev.RepeatCount = 0, 0, 0, cycles
        cb = tango.utils.EventCallback(fd=open(os.devnull, "w"), max_buf=10 * cycles)
        sub = dev.subscribe_event("CyclesLeft", tango.EventType.CHANGE_EVENT, cb)
        dev.Go()
        values = lambda: [e.attr_value.value for e in cb.get_events() if e.attr_value]
        until(lambda: 0 in values(), "the run's last cycle", 10 + cycles / 10)
        dev.unsubscribe_event(sub)
        # The subscription's first value may come twice; every cycle comes once, in order.
        got = [v for v in values() if v != cycles]
        if got != list(range(cycles - 1, -1, -1)):
            sys.exit(f"FAIL: cycles left came as {got}")
        return len(set(got))
    finally:
        for child in reversed(children):
            child.terminate()
            child.wait(DEADLINE)


if __name__ == "__main__":
    for program in ("mariadb-install-db", "mariadbd", "tango_admin"):
        if not shutil.which(program):
            sys.exit(f"FAIL: {program} not found; scripts/install-deps.sh installs it")
    with tempfile.TemporaryDirectory() as temporary:
        main(sys.argv[1], temporary)
