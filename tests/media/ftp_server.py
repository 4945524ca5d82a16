# Test peer: an FTP server with one user and anonymous access. Prints its port.
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

user_home, anon_home, user, password = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
options = sys.argv[5:]
anonymous = "noanon" not in options
# "delete": anonymous users may delete files too.
anon_perm = "elrd" if "delete" in options else "elr"
logging.basicConfig(level=logging.ERROR)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, user_home, perm="elr")
if anonymous:
    authorizer.add_anonymous(anon_home, perm=anon_perm)
handler = FTPHandler
handler.authorizer = authorizer
handler.banner = "vorlune test peer"
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
