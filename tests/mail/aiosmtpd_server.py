#!/usr/bin/python3
"""A real SMTP server (aiosmtpd) on 127.0.0.1 for the mail tests.

usage: aiosmtpd_server.py PORTFILE MAILDIR [--auth USER:PASSWORD] [--tls CERT KEY]
                          [--implicit-tls CERT KEY --port N]

Writes the port to PORTFILE once it listens. Every message accepted is stored as
MAILDIR/<n>.eml (the bytes received), <n>.envelope (MAIL FROM and RCPT TO lines),
<n>.options (the MAIL FROM parameters) and, through Python's email parser,
<n>.part<k> with each attachment's decoded bytes and <n>.part<k>.name with its
file name, and <n>.read with what a reader sees (read_mail.py). Ends when its
parent goes away.
"""
import asyncio, os, socket, ssl, sys, threading, time, email, email.policy
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_mail


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Store:
    def __init__(self, folder):
        self.folder, self.count = folder, 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".envelope", "w") as f:
            f.write("MAIL FROM " + envelope.mail_from + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write("RCPT TO " + rcpt + "\n")
        with open(base + ".options", "w") as f:
            f.write(" ".join(envelope.mail_options))
        with open(base + ".read", "w", encoding="utf-8") as f:
            f.write(read_mail.describe(envelope.original_content))
        message = email.message_from_bytes(envelope.original_content, policy=email.policy.compat32)
        k = 0
        for part in message.walk():
            if part.get_filename() is None:
                continue
            k += 1
            with open("%s.part%d" % (base, k), "wb") as f:
                f.write(part.get_payload(decode=True) or b"")
            with open("%s.part%d.name" % (base, k), "w", encoding="utf-8") as f:
                f.write(part.get_filename())
        return "250 OK"


def main():
    portfile, folder = sys.argv[1], sys.argv[2]
    args = sys.argv[3:]
    params = {}
    if "--auth" in args:
        user, password = args[args.index("--auth") + 1].split(":", 1)

        def check(server, session, envelope, mechanism, data):
            ok = isinstance(data, LoginPassword) and data.login == user.encode() \
                and data.password == password.encode()
            return AuthResult(success=ok)

        params.update(authenticator=check, auth_required=True, auth_require_tls=False)
    if "--tls" in args:
        i = args.index("--tls")
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args[i + 1], args[i + 2])
        params.update(tls_context=context, require_starttls=True)
    port = int(args[args.index("--port") + 1]) if "--port" in args else free_port()
    if "--implicit-tls" in args:
        i = args.index("--implicit-tls")
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args[i + 1], args[i + 2])
        controller = Controller(Store(folder), hostname="127.0.0.1", port=port,
                                ssl_context=context, **params)
    else:
        controller = Controller(Store(folder), hostname="127.0.0.1", port=port, **params)
    controller.start()
    with open(portfile + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(portfile + ".tmp", portfile)
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.2)
    controller.stop()


main()
