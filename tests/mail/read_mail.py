#!/usr/bin/python3
"""What a reader sees in a message, through Python's email package (the modern,
strict policy), as "key: value" lines for the tests to compare:
  subject, message-id, text-charset, text-transfer, longest-line (octets)
  text: the decoded text part, as JSON (one line)
  name: each attachment's decoded file name, then sha256: of its decoded bytes
  header-8bit: yes when a header holds a byte above 0x7F

usage: read_mail.py FILE   (prints the description)
"""
import email, email.policy, hashlib, json, sys


def describe(data):
    message = email.message_from_bytes(data, policy=email.policy.default)
    head = data.split(b"\r\n\r\n", 1)[0] if b"\r\n\r\n" in data else data.split(b"\n\n", 1)[0]
    lines = data.replace(b"\r\n", b"\n").split(b"\n")
    out = ["subject: " + str(message.get("subject", "")),
           "message-id: " + str(message.get("message-id", "")),
           "longest-line: %d" % max(len(line) for line in lines),
           "header-8bit: " + ("yes" if any(b > 0x7F for b in head) else "no")]
    for part in message.walk():
        if part.is_multipart():
            continue
        name = part.get_filename()
        if name is not None:
            out.append("name: " + name)
            out.append("sha256: " + hashlib.sha256(part.get_content()).hexdigest())
        elif part.get_content_type() == "text/plain":
            out.append("text-charset: " + str(part.get_content_charset()))
            out.append("text-transfer: " + str(part.get("content-transfer-encoding", "")))
            out.append("text: " + json.dumps(part.get_content(), ensure_ascii=False))
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        sys.stdout.write(describe(f.read()))
