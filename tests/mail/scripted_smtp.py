#!/usr/bin/python3
"""A scripted SMTP server on 127.0.0.1 for the dialogue's edge cases.

usage: scripted_smtp.py PORTFILE TRANSCRIPT SCENARIO

Writes the port to PORTFILE once it listens, serves one connection and writes
every line the client sent (bytes as received, one per line) to TRANSCRIPT.
Ends with the connection or when its parent goes away.
"""
import os, socket, sys, threading, time

OK = b"250 OK\r\n"
EHLO_PLAIN = b"250-test.example\r\n250 SIZE 1000000\r\n"

SCENARIOS = {
    "plain": {},
    "ehlo500": {"EHLO": b"500 Command not recognized\r\n"},
    "auth-old": {"EHLO": b"250-test.example\r\n250-AUTH=LOGIN\r\n250 SIZE 1000\r\n"},
    "auth-new": {"EHLO": b"250-test.example\r\n250-AUTH PLAIN LOGIN\r\n250 HELP\r\n"},
    "auth-other": {"EHLO": b"250-test.example\r\n250 AUTH PLAIN CRAM-MD5\r\n"},
    "multiline-greeting": {"greeting": b"220-first line\r\n220-second line\r\n220 ready\r\n"},
    "rcpt550": {"RCPT": b"550 No such user here\r\n"},
    "rset-error": {"RSET": b"502 Not implemented\r\n"},
    "final-reject": {".": b"554 Transaction failed\r\n"},
    "lf-only": {"lf": True,
                "EHLO": b"250-test.example\n250 SIZE 1000\n"},
    "long-line": {"greeting": b"220 " + b"x" * 16381 + b"\r\n"},
    "longest-line": {"greeting": b"220 " + b"x" * 16380 + b"\r\n"},
    "silent": {"greeting": None},
    "starttls-refused": {"EHLO": b"250-test.example\r\n250 STARTTLS\r\n",
                         "STARTTLS": b"454 TLS not available\r\n"},
    # STARTTLS accepted, then plain text where the server's TLS hello belongs.
    "starttls-garbage": {"EHLO": b"250-test.example\r\n250 STARTTLS\r\n",
                         "STARTTLS": b"220 Go ahead\r\n", "garbage": True},
    "eightbit": {"EHLO": b"250-test.example\r\n250-8BITMIME\r\n250 SIZE 1000000\r\n"},
    # "250-" lines without end, until the client hangs up.
    "endless-ehlo": {"EHLO": "endless"},
    # A refusal that would retitle and clear a terminal, ring it and colour its text,
    # with markup for a window that would render it.
    "hostile": {"RCPT": b"550-\x1b]0;pwned\x07\x1b[2J\x1b[31mCall 555-0100\x1b[0m\r\n"
                        b"550 <b>now</b>\x9b31m\r\n"},
}

DEFAULTS = {"greeting": b"220 test.example ESMTP\r\n", "EHLO": EHLO_PLAIN, "HELO": OK,
            "RSET": OK, "MAIL": OK, "RCPT": OK, "DATA": b"354 Go ahead\r\n", ".": OK,
            "AUTH": b"334 VXNlcm5hbWU6\r\n", "QUIT": b"221 Bye\r\n"}


def watch_parent():
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.2)
    os._exit(0)


def main():
    portfile, transcript, name = sys.argv[1:4]
    scenario = dict(DEFAULTS, **SCENARIOS[name])
    lf = scenario.get("lf", False)

    def send(conn, reply):
        if reply == "endless":
            try:
                while True:
                    conn.sendall(b"250-x\r\n" * 1000)
            except OSError:
                os._exit(0)
        if reply is not None:
            conn.sendall(reply.replace(b"\r\n", b"\n") if lf else reply)

    threading.Thread(target=watch_parent, daemon=True).start()
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    with open(portfile + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.rename(portfile + ".tmp", portfile)
    conn, _ = listener.accept()
    log = open(transcript, "wb", buffering=0)
    send(conn, scenario["greeting"])
    if scenario["greeting"] is None:
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                return
            log.write(chunk)
    data, in_data, auth_steps, tls = b"", False, 0, False
    while True:
        chunk = conn.recv(65536)
        if not chunk:
            break
        if tls:  # whatever the client sends now is logged as it comes
            log.write(chunk)
            if tls == 1:
                conn.sendall(b"this is not TLS\r\n")
                tls = 2
            continue
        data += chunk
        while b"\n" in data:
            line, data = data.split(b"\n", 1)
            log.write(line + b"\n")
            text = line.rstrip(b"\r")
            if in_data:
                if text == b".":
                    in_data = False
                    send(conn, scenario["."])
                continue
            if auth_steps:
                auth_steps -= 1
                send(conn, b"334 UGFzc3dvcmQ6\r\n" if auth_steps else b"235 Authenticated\r\n")
                continue
            verb = text.split(b" ", 1)[0].split(b":", 1)[0].decode("latin-1").upper()
            reply = scenario.get(verb, b"500 Unknown\r\n")
            if verb == "AUTH":
                auth_steps = 2
            send(conn, reply)
            if verb == "STARTTLS" and scenario.get("garbage"):
                log.write(data)
                data, tls = b"", 1
                break
            if verb == "DATA" and reply.startswith(b"354"):
                in_data = True
            if verb == "QUIT":
                conn.close()
                return


main()
