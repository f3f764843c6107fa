#!/usr/bin/python3
# quillon-tango driven by PyTango: every write and command byte-exact on the wire, on the simulator
# and on the pseudo-terminal controller through the kernel serial backend (each controller's
# transcript shows the wire); a pulled cable and two servers at once on the latter. Properties come
# from TANGO's file database; each server gets a free port.
#
# usage: server_test.py BUILD_DIR

import ast, os, signal, socket, subprocess, sys, tempfile, time, unittest, tango


BUILD = "build"
DEADLINE = 15


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def table(kind):
    # wire.txt's rows of one kind: name, value written, frames, value read back.
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "wire.txt")) as f:
        for line in f:
            head, *tail = [field.strip() for field in line.split("|")]
            words = head.split()
            if words[:1] == [kind]:
                yield (words[1], ast.literal_eval(words[2]) if len(words) > 2 else None,
                       tail[0].split(", ") if tail else [],
                       ast.literal_eval(tail[1]) if len(tail) > 1 else None)


def until(check, what, seconds=DEADLINE):
    end = time.monotonic() + seconds
    while not check():
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.01)


class Server:
    # quillon-tango with one device; its properties in a file database.

    def __init__(self, folder, properties, env=None, program=None):
        self.name = "test/shutter/" + os.path.basename(folder)
        res = os.path.join(folder, "server.res")
        with open(res, "w") as f:
            f.write(f'QuillonTango/test/DEVICE/QuillonShutter: "{self.name}"\n')
            for key, value in properties.items():
                f.write(f"{self.name}->{key}: {value}\n")
        port = free_port()
        self.process = subprocess.Popen(
            [program or os.path.join(BUILD, "quillon-tango"), "test", "-file=" + res,
             "-ORBendPoint", f"giop:tcp:127.0.0.1:{port}"],
            env=dict(os.environ, **(env or {})), stdout=subprocess.DEVNULL)
        self.proxy = tango.DeviceProxy(f"tango://127.0.0.1:{port}/{self.name}#dbase=no")
        try:
            until(self.answers, "the server")
        except AssertionError:
            self.process.kill()
            raise

    def answers(self):
        try:
            return self.proxy.ping() >= 0
        except tango.DevFailed:
            assert self.process.poll() is None, f"quillon-tango exited ({self.process.returncode})"

    def stop(self):
        # A clean exit: no crash on the way out, and no sanitizer finding in a sanitizer build.
        self.process.terminate()
        try:
            status = self.process.wait(DEADLINE)
            assert status == 0, f"quillon-tango exited with status {status}"
        finally:
            self.process.kill()


class SimPty:
    # The controller on a pseudo-terminal, described as ttyUSB0 in a fake sysfs.

    def __init__(self, folder, transcript=None):
        self.folder = folder
        self.process = subprocess.Popen(
            [os.path.join(BUILD, "quillon-sim-pty"), "--fake-sysfs", folder]
            + (["--transcript", transcript] if transcript else []),
            stdout=subprocess.PIPE, text=True)
        self.process.stdout.readline()  # the terminal's path: it is ready
        self.env = {"QUILLON_TTY_SYSFS_ROOT": folder + "/sys",
                    "QUILLON_TTY_DEV_ROOT": folder + "/dev"}

    def pull(self):
        self.process.kill()
        self.process.communicate(timeout=DEADLINE)  # and closes its output


def serve(cleanup, on_pty):
    # A server on a controller of its own in a temporary folder, which also holds the controller's
    # transcript; cleanup takes what ends each.
    folder = tempfile.TemporaryDirectory()
    cleanup(folder.cleanup)
    wire = os.path.join(folder.name, "wire.txt")
    pty, env = None, {"QUILLON_SIM_TRANSCRIPT": wire}
    if on_pty:
        pty = SimPty(folder.name, wire)
        cleanup(pty.pull)
        env = pty.env
    server = Server(folder.name, {"Driver": "tty" if on_pty else "sim"}, env)
    cleanup(server.stop)
    return pty, server.proxy, wire


class Wire:
    # The same rows on each controller (on_pty), read from its transcript.

    @classmethod
    def setUpClass(cls):
        _, cls.dev, wire = serve(cls.addClassCleanup, cls.on_pty)
        until(lambda: cls.dev.state() == tango.DevState.CLOSE, "the link's handshake")
        cls.log = open(wire)
        cls.addClassCleanup(cls.log.close)
        cls.log.seek(0, os.SEEK_END)

    def sent(self, action, frames):
        # The frames written since the last call, after action and once `frames` of them have
        # come: the controller on a terminal logs them a moment after the server has written.
        # A frame nobody expected shows in the next call's.
        action()
        out = []
        def more():
            out.extend(line.split(" ", 3)[3].strip() for line in self.log if " TX " in line)
            return len(out) >= frames
        until(more, f"{frames} frames on the wire")
        return out

    def test_writes_go_out_byte_exact_and_read_back(self):
        for name, value, frames, back in table("write"):
            with self.subTest(name=name, value=value):
                self.assertEqual(
                    self.sent(lambda: self.dev.write_attribute(name, value), len(frames)), frames)
                self.assertEqual(self.dev.read_attribute(name).value, back)
        self.assertAlmostEqual(self.dev.CycleTime, 18000000 + 456.7 + 2 * 19)

    def test_commands_go_out_byte_exact(self):
        for command, _, frames, _ in table("command"):
            with self.subTest(command=command):
                self.assertEqual(
                    self.sent(lambda: self.dev.command_inout(command), len(frames)), frames)
        # Apply: the shutter's frame, then those that set what the device shows.
        settings = [("NdSteps", 5), ("TriggerMode", 1), ("SyncMode", 2), ("ClosedTime", 1.5),
                    ("ExposureTime", 20), ("RepeatCount", 3)]
        written = self.sent(lambda: [self.dev.write_attribute(*a) for a in settings], 6)
        self.assertEqual(self.sent(self.dev.Apply, 7), ["AC"] + written)
        # An armed trigger run takes every byte as the run's until a ready byte ends it.
        self.assertEqual(self.sent(lambda: self.dev.write_attribute("Mode", 0), 1), ["DC"])
        # (in mode 0 the status reply ends in a ready byte, which ends the armed run)
        self.assertEqual(self.sent(self.dev.Trigger, 2), ["CC", "FA F2"])
        self.assertEqual(self.dev.state(), tango.DevState.RUNNING)
        with self.assertRaises(tango.DevFailed):  # the status reply is taken as the run's bytes
            self.dev.Refresh()
        self.assertEqual(self.sent(self.dev.Open, 2), ["CC", "AA"])  # Refresh's frame went out
        self.assertEqual(self.dev.state(), tango.DevState.OPEN)
        # A counted run pushes each cycle once (the subscription's first value may come twice);
        # without a database, 9.3.4's subscriptions break after about 12 s: this one lasts 1.
        cb = tango.utils.EventCallback(fd=open(os.devnull, "w"))
        self.addCleanup(self.dev.unsubscribe_event,
                        self.dev.subscribe_event("CyclesLeft", tango.EventType.CHANGE_EVENT, cb))
        self.assertEqual(self.sent(self.dev.Go, 2), ["CC", "FA F3"])  # the 3 cycles applied
        left = lambda: [e.attr_value.value for e in cb.get_events() if e.attr_value]
        until(lambda: left()[-1:] == [0] and self.dev.state() != tango.DevState.RUNNING, "the end")
        self.assertEqual([v for v in left() if v != 3], [2, 1, 0])

    def test_limits_are_refused_before_anything_is_sent(self):
        for name, value, _, _ in table("refuse"):
            with self.subTest(name=name, value=value):
                def write():
                    with self.assertRaises(tango.DevFailed) as refused:
                        self.dev.write_attribute(name, value)
                    self.assertEqual(refused.exception.args[0].reason, "API_WAttrOutsideLimit")
                self.assertEqual(self.sent(write, 0), [])


class SimulatorTest(Wire, unittest.TestCase):
    on_pty = False


class PseudoTerminalTest(Wire, unittest.TestCase):
    on_pty = True

    def test_pulled_cable_faults_and_init_recovers(self):
        pty, dev, _ = serve(self.addCleanup, on_pty=True)
        self.assertEqual(dev.Identity, "QSC10001 V1.0")
        pty.pull()
        until(lambda: dev.state() == tango.DevState.FAULT, "FAULT")
        self.assertIn("lost", dev.status())
        with self.assertRaises(tango.DevFailed) as failed:
            dev.Open()
        self.assertEqual(failed.exception.args[0].reason, "Quillon_LinkLost")
        again = SimPty(pty.folder)
        self.addCleanup(again.pull)
        again.process.send_signal(signal.SIGSTOP)  # the handshake waits (up to its time-out)
        dev.Init()
        self.assertEqual([dev.state(), dev.status()],
                         [tango.DevState.INIT, "The controller's link is being opened"])
        again.process.send_signal(signal.SIGCONT)
        until(lambda: dev.state() == tango.DevState.CLOSE, "recovery")
        dev.Open()
        self.assertEqual(dev.state(), tango.DevState.OPEN)

    def test_two_servers_on_two_controllers(self):
        devs = [serve(self.addCleanup, on_pty=True)[1] for _ in range(2)]
        devs[0].Open()
        devs[1].ClosedTime = 250.5
        self.assertEqual([d.state() for d in devs], [tango.DevState.OPEN, tango.DevState.CLOSE])
        devs[1].Refresh()
        self.assertEqual([d.ClosedTime for d in devs], [0, 250.5])


if __name__ == "__main__":
    BUILD = sys.argv.pop(1)
    unittest.main()
