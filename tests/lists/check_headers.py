#!/usr/bin/python3
"""Reads one message from standard input and checks its header block strictly: every
header well-formed with no defects, Date, From, To, Subject and Message-ID exactly once.
Prints the date in ISO form and the Message-ID; exits 1 with the faults otherwise."""
import email.policy
import sys
from email.parser import BytesParser

raw = sys.stdin.buffer.read()
faults = []
head, sep, _ = raw.partition(b"\r\n\r\n")
if not sep:
    faults.append("no empty line after the headers")
for line in head.split(b"\r\n"):
    if b"\n" in line or b"\r" in line:
        faults.append("bare line break in %r" % line)
    if not line[:1].isspace() and b":" not in line:
        faults.append("not a header: %r" % line)
message = BytesParser(policy=email.policy.strict).parsebytes(raw)
faults += ["message: %r" % d for d in message.defects]
for name in ("Date", "From", "To", "Subject", "Message-ID"):
    values = message.get_all(name) or []
    if len(values) != 1:
        faults.append("%s %d times" % (name, len(values)))
for name, value in message.items():
    faults += ["%s: %r" % (name, d) for d in value.defects]
date = message["Date"].datetime if message["Date"] is not None else None
if date is None or date.tzinfo is None:
    faults.append("Date without a time zone")
if faults:
    print("\n".join(faults))
    sys.exit(1)
print(date.isoformat())
print(message["Message-ID"])
