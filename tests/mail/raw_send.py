#!/usr/bin/python3
"""Sends a message file as it stands, for showing what a strict server refuses.

usage: raw_send.py PORT CAFILE USER PASSWORD HELO FILE

STARTTLS, AUTH, MAIL FROM <me@murmel.test>, RCPT TO <friend@murmel.test>, the
file's bytes as DATA. Prints "CODE TEXT" of the first refusal, or "250 sent".
"""
import smtplib, ssl, sys

port, cafile, user, password, helo, path = sys.argv[1:7]
with open(path, "rb") as f:
    data = f.read()
try:
    with smtplib.SMTP("localhost", int(port), local_hostname=helo) as smtp:
        smtp.ehlo()
        smtp.starttls(context=ssl.create_default_context(cafile=cafile))
        smtp.ehlo()
        smtp.login(user, password)
        smtp.sendmail("me@murmel.test", ["friend@murmel.test"], data)
    print("250 sent")
except smtplib.SMTPResponseException as error:
    print(error.smtp_code, error.smtp_error.decode("latin-1"))
except smtplib.SMTPRecipientsRefused as error:
    code, text = list(error.recipients.values())[0]
    print(code, text.decode("latin-1"))
