"""A real SMTP server for the tests: aiosmtpd on a free loopback port, with AUTH PLAIN/LOGIN
for one user ("tester"/"secret"), saving each message it accepts into a folder as
<n>.envelope (sender, recipients and MAIL options, one a line) and <n>.eml (the content as
received, dot-stuffing undone). Prints the port on standard output, then serves until its
standard input closes."""
import socket
import sys
import threading
from pathlib import Path

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Saver:
    def __init__(self, folder):
        self.folder = Path(folder)
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            stem = self.folder / str(self.count)
        lines = [envelope.mail_from, *envelope.rcpt_tos, " ".join(envelope.mail_options)]
        stem.with_suffix(".eml").write_bytes(envelope.original_content)
        stem.with_suffix(".envelope").write_text("\n".join(lines) + "\n")
        return "250 OK saved"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login == b"tester" and auth_data.password == b"secret"
    # Not handled: aiosmtpd itself answers a failure with 535.
    return AuthResult(success=ok, handled=False)


def main():
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    controller = Controller(Saver(sys.argv[1]), hostname="127.0.0.1", port=port,
                            authenticator=authenticate, auth_require_tls=False)
    controller.start()
    print(port, flush=True)
    sys.stdin.read()
    controller.stop()


main()
