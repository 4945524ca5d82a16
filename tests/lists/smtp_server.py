#!/usr/bin/python3
"""Loopback SMTP server for tests: prints its port, writes each message to OUTDIR/N.eml
with the envelope and the AUTH mechanism used in OUTDIR/N.env. Optional USER PASSWORD
turn on AUTH (LOGIN offered, TLS not required; wrong credentials get 535 at once)."""
import os
import socket
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

outdir = sys.argv[1]
user = sys.argv[2].encode() if len(sys.argv) > 3 else None
password = sys.argv[3].encode() if len(sys.argv) > 3 else None
count = 0
mechanisms = {}


class Handler:
    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        with open(os.path.join(outdir, "%d.eml" % count), "wb") as f:
            f.write(envelope.original_content)
        with open(os.path.join(outdir, "%d.env" % count), "w") as f:
            f.write("from=%s\nto=%s\nauth=%s\n" % (
                envelope.mail_from, ",".join(envelope.rcpt_tos),
                mechanisms.get(id(session), "")))
        return "250 OK"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login == user and auth_data.password == password
    if ok:
        mechanisms[id(session)] = mechanism
    # Not handled here: the server answers a refusal with 535 at once.
    return AuthResult(success=ok, handled=ok)


s = socket.socket()
s.bind(("127.0.0.1", 0))
port = s.getsockname()[1]
s.close()
kwargs = dict(hostname="127.0.0.1", port=port, auth_require_tls=False)
if user is not None:
    kwargs.update(authenticator=authenticator, auth_required=True,
                  auth_exclude_mechanism=["PLAIN"])
controller = Controller(Handler(), **kwargs)
controller.start()
print(port, flush=True)
try:
    deadline = time.time() + 120
    while time.time() < deadline and sys.stdin.read(1):
        pass
finally:
    controller.stop()
