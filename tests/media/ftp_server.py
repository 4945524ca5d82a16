# Test peer: an FTP server with one user and anonymous access. Prints its port.
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

user_home, anon_home, user, password = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
anonymous = len(sys.argv) < 6 or sys.argv[5] != "noanon"
logging.basicConfig(level=logging.ERROR)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, user_home, perm="elr")
if anonymous:
    authorizer.add_anonymous(anon_home, perm="elr")
handler = FTPHandler
handler.authorizer = authorizer
handler.banner = "vorlune test peer"
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
