"""Runs the tests' reference scripts from one interpreter that has imported numpy, astropy,
scipy and Pillow once.

Most of what a test's Python run costs is the interpreter's start and those imports, not
the reference's own work: a run that starts from a copy (a fork) of an interpreter that
has them costs a few milliseconds instead. Each run is a process of its own, with the
caller's standard streams, folder, environment and arguments; what it does cannot reach
another run or this server.

    python_server.py SOCKET

The caller is tests/support/python_client.cpp: it sends the three streams (as file
descriptors), then a block of strings (the folder, the file mode mask, the argument
count, the arguments, then the environment, each ended by a NUL byte), and reads back the run's exit status as
four bytes. The server ends when it is sent SIGTERM.
"""

import os
import sys

# The references are small; a pool of threads started at numpy's import would also be
# left behind, broken, in every fork.
for name in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ[name] = "1"

import builtins
import importlib
import random
import runpy
import signal
import socket
import struct
import traceback

for module in ("numpy", "numpy.random", "astropy.io.fits", "PIL.Image", "scipy.stats", "scipy.special",
               "scipy.interpolate", "scipy.optimize", "scipy.ndimage", "subprocess", "shutil", "colorsys"):
    try:
        importlib.import_module(module)
    except Exception:
        # A run that needs a module missing here fails there, as it would alone.
        pass


def receive_exactly(connection, size):
    data = b""
    while len(data) < size:
        part = connection.recv(size - len(data))
        if not part:
            raise EOFError
        data += part
    return data


def exit_status(code):
    if code is None:
        return 0
    if isinstance(code, int):
        return code & 0xFF
    print(code, file=sys.stderr)
    return 1


def run(connection):
    """The caller's run, in this forked process; its exit status."""
    head, fds, _, _ = socket.recv_fds(connection, 4, 3)
    if len(head) < 4 or len(fds) != 3:
        raise EOFError
    (size,) = struct.unpack("<I", head)
    strings = receive_exactly(connection, size).split(b"\0")[:-1]
    for target, fd in enumerate(fds):
        os.dup2(fd, target)
        os.close(fd)
    folder = os.fsdecode(strings[0])
    mask = int(strings[1])
    count = int(strings[2])
    argv = [os.fsdecode(s) for s in strings[3:3 + count]]
    environment = strings[3 + count:]

    signal.signal(signal.SIGCHLD, signal.SIG_DFL)
    signal.signal(signal.SIGTERM, signal.SIG_DFL)
    os.chdir(folder)
    os.umask(mask)
    os.environ.clear()
    for entry in environment:
        key, _, value = entry.partition(b"=")
        os.environb[key] = value
    # A fresh interpreter seeds its generators from the system; the fork would repeat
    # this server's state in every run.
    random.seed()
    if "numpy.random" in sys.modules:
        sys.modules["numpy.random"].seed()

    try:
        if argv[0] == "-c":
            sys.argv = ["-c"] + argv[2:]
            sys.path[0] = ""
            code = compile(argv[1], "<string>", "exec")
            exec(code, {"__name__": "__main__", "__builtins__": builtins})
        else:
            script = argv[0]
            sys.argv = argv
            sys.path[0] = os.path.dirname(os.path.abspath(script))
            runpy.run_path(script, run_name="__main__")
        status = 0
    except SystemExit as e:
        status = exit_status(e.code)
    except BaseException:
        traceback.print_exc()
        status = 1
    try:
        sys.stdout.flush()
    except Exception:
        status = status or 120
    try:
        sys.stderr.flush()
    except Exception:
        pass
    return status


def main():
    path = sys.argv[1]
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(path)
    listener.listen(64)
    # Runs end on their own; none is waited for.
    signal.signal(signal.SIGCHLD, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    while True:
        try:
            connection, _ = listener.accept()
        except InterruptedError:
            continue
        if os.fork() == 0:
            listener.close()
            status = 1
            try:
                status = run(connection)
            except BaseException:
                pass
            try:
                connection.sendall(struct.pack("<i", status))
            except OSError:
                pass
            os._exit(status)
        connection.close()


if __name__ == "__main__":
    main()
