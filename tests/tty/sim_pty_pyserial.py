#!/usr/bin/env python3
"""An outside serial client against quillon-sim-pty: pySerial opens the virtual controller's
terminal at the link's 128000 baud, sends Status (0xCC) and Get Controller Info (0xFD) and checks
the answers byte for byte. Usage: sim_pty_pyserial.py PATH-TO-quillon-sim-pty"""

import select
import subprocess
import sys

import serial

FACTORY_STATUS = bytes([0xCC, 0xAC, 0xDC, 0x00, 0xA1, 0xB2, 0x10, 0x00, 0x00, 0x00,
                        0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x0D])
IDENTITY = b"\xFD" + b"PYS12345" + b"V1.0"


def exchange(port, request, expected):
    port.write(request)
    answer = port.read(len(expected))
    if answer != expected:
        sys.exit(f"{request.hex()}: expected {expected.hex(' ')}, got {answer.hex(' ')}")
    extra = port.read(1) if port.in_waiting else b""
    if extra:
        sys.exit(f"{request.hex()}: unexpected byte {extra.hex()} after the answer")


def main():
    sim = subprocess.Popen([sys.argv[1], "--serial", "PYS12345XYZ"], stdout=subprocess.PIPE,
                           text=True)
    try:
        ready, _, _ = select.select([sim.stdout], [], [], 10)
        terminal = sim.stdout.readline().strip() if ready else ""
        if not terminal:
            sys.exit("quillon-sim-pty printed no terminal")
        with serial.Serial(terminal, 128000, timeout=5) as port:
            exchange(port, b"\xCC", FACTORY_STATUS)
            exchange(port, b"\xFD", IDENTITY)
        sim.terminate()
        if sim.wait(timeout=10) != 0:
            sys.exit(f"quillon-sim-pty exited with {sim.returncode}")
    finally:
        if sim.poll() is None:
            sim.kill()
            sim.wait()
    print("pySerial: Status and Get Controller Info answered byte for byte")


if __name__ == "__main__":
    main()
