#!/usr/bin/python3
"""The RFC 2217 server of Python's serial library in front of a
pseudo-terminal, for the network port's tests.

    rfc2217_pty_server.py PTY TCPPORT

It runs the library's own example server (its Redirector and the library's
PortManager, untouched), on 127.0.0.1:TCPPORT, one client after the other.
A Linux pseudo-terminal has no modem lines and refuses their ioctls (EINVAL
or ENOTTY), takes no break, and refuses some line settings with EINVAL (even
parity, on this one): the serial object here ignores exactly those refusals,
so that the server's answers are the library's, not the terminal's. Prints
"listening" once the port is open; ends on SIGTERM.
"""
import errno
import signal
import socket
import sys
import termios

sys.path.insert(0, "/usr/share/doc/python3-serial/examples")
import serial  # noqa: E402
import rfc2217_server  # noqa: E402


class PtyLine(serial.Serial):
    """A serial port on a pseudo-terminal: modem lines always off, the
    settings it refuses taken as given."""

    def _reconfigure_port(self, force_update=False):
        try:
            super()._reconfigure_port(force_update)
        except termios.error as e:
            if e.args[0] not in (errno.EINVAL, errno.ENOTTY):
                raise

    def _update_dtr_state(self):
        pass

    def _update_rts_state(self):
        pass

    def _update_break_state(self):
        pass

    @property
    def cts(self):
        return False

    @property
    def dsr(self):
        return False

    @property
    def ri(self):
        return False

    @property
    def cd(self):
        return False


def main():
    pty, port = sys.argv[1], int(sys.argv[2])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    line = PtyLine()
    line.port = pty
    line.timeout = 1  # lets the reader thread see the client's end
    line.open()
    settings = line.get_settings()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(1)
    print("listening", flush=True)
    while True:
        client, _ = listener.accept()
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        redirector = rfc2217_server.Redirector(line, client)
        try:
            redirector.shortcircuit()
        finally:
            redirector.stop()
            client.close()
            line.apply_settings(settings)


if __name__ == "__main__":
    main()
