#!/usr/bin/python3
"""An FTP server for the upload tests, on Debian's pyftpdlib.

Usage: ftp_server.py PORT ROOT USER PASSWORD PERM [--limit BYTES_PER_SECOND]

Serves ROOT on 127.0.0.1:PORT to one user with pyftpdlib's permission
letters PERM ("elradfmw" for all, "elr" for a read-only folder). With --limit the data connections receive at
most that many bytes a second, so that a test can stop the server halfway
through an upload. Prints "ready" once it listens.
"""
import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("root")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("perm")
    parser.add_argument("--limit", type=int, default=0)
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm=args.perm)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    if args.limit:
        dtp = ThrottledDTPHandler
        dtp.read_limit = args.limit
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", args.port), handler)
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
