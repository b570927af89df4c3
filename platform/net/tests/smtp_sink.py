"""An SMTP server on loopback that keeps what it receives, for the net tests.

Usage: smtp_sink.py OUTPUT_DIR USER PASSWORD [ADDRESS]

Listens on ADDRESS (127.0.0.1 when not given) on a free port and prints the port on a line of its own once it
accepts connections. Each accepted mail N is stored, before the server answers the end of
its data, as
  OUTPUT_DIR/N.eml      the bytes of the message as received, and
  OUTPUT_DIR/N.decoded  what a mail reader makes of it, written last: the lines
                        "MAIL FROM <addr>", "RCPT TO <addr>", "LOGIN <user> <mechanism>",
                        "Date-Epoch <seconds>" and "<Header>: <decoded value>" for the main
                        headers, a blank line, and the body decoded to UTF-8 text.
Logins over PLAIN, LOGIN and CRAM-MD5 are accepted for USER with PASSWORD on the plain
connection; login is optional. Every login attempt, good or bad, adds a line to
OUTPUT_DIR/logins before it is answered, so a test can tell that a password was never sent. The recipient "rejected@sink.test" is refused with 550. The
server stops when its standard input closes, so it never outlives the test process.
"""

import asyncio
import email
import email.policy
import email.utils
import hashlib
import hmac
import logging
import os
import secrets
import sys
from typing import NamedTuple

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword, auth_mechanism


class Login(NamedTuple):
    login: bytes
    mechanism: str


class Sink:
    def __init__(self, directory, user, password):
        self.directory = directory
        self.user = user.encode()
        self.password = password.encode()
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == "rejected@sink.test":
            return "550 5.1.1 <rejected@sink.test>: no such mailbox here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        login = ""
        if session.authenticated and session.auth_data is not None:
            login = session.auth_data.login.decode() + " " + session.auth_data.mechanism
        message = email.message_from_bytes(envelope.original_content,
                                           policy=email.policy.default)
        lines = ["MAIL FROM " + envelope.mail_from]
        lines += ["RCPT TO " + r for r in envelope.rcpt_tos]
        lines.append("LOGIN " + login)
        date = email.utils.parsedate_to_datetime(str(message["Date"]))
        lines.append("Date-Epoch %d" % date.timestamp())
        for name in ("From", "To", "Subject", "Message-ID", "MIME-Version", "Content-Type",
                     "Content-Transfer-Encoding"):
            lines.append("%s: %s" % (name, message[name]))
        text = "\n".join(lines) + "\n\n" + message.get_content()
        with open(base + ".tmp", "wb") as f:
            f.write(text.encode("utf-8", errors="surrogateescape"))
        os.rename(base + ".tmp", base + ".decoded")
        return "250 Message accepted"

    def note_login(self):
        with open(os.path.join(self.directory, "logins"), "a") as f:
            f.write("login\n")

    @auth_mechanism("CRAM-MD5")
    async def auth_CRAM_MD5(self, server, args):
        self.note_login()
        challenge = ("<%s@sink.test>" % secrets.token_hex(8)).encode()
        answer = await server.challenge_auth(challenge)
        if not isinstance(answer, bytes) or b" " not in answer:
            return AuthResult(success=False, handled=False)
        login, digest = answer.rsplit(b" ", 1)
        expected = hmac.new(self.password, challenge, hashlib.md5).hexdigest().encode()
        ok = login == self.user and hmac.compare_digest(digest, expected)
        return AuthResult(success=ok, handled=False, auth_data=Login(login, "CRAM-MD5"))

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        self.note_login()
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
              and auth_data.password == self.password)
        # handled=False: the server itself answers a failed login with 535.
        return AuthResult(success=ok, handled=False,
                          auth_data=Login(auth_data.login, mechanism))


def main():
    directory, user, password = sys.argv[1:4]
    address = sys.argv[4] if len(sys.argv) > 4 else "127.0.0.1"
    # aiosmtpd warns about its own deprecated attributes on every login.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    sink = Sink(directory, user, password)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    def new_session():
        return SMTP(sink, hostname="sink.test", authenticator=sink.authenticate,
                    auth_require_tls=False, loop=loop)

    server = loop.run_until_complete(loop.create_server(new_session, address, 0))
    port = server.sockets[0].getsockname()[1]
    loop.add_reader(sys.stdin.fileno(), loop.stop)
    print(port, flush=True)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
