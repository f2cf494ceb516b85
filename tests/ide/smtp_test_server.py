#!/usr/bin/env python3
"""A local SMTP server for the mail tests.

Listens on 127.0.0.1 only, on a free port that it prints as the first line
of its output, and writes every accepted message as JSON (HELO name,
envelope sender and recipients, raw text, and the sender's name and the
body as Python's mail parser decodes them) to OUTDIR/message-N.json.
Runs until its standard input closes.
"""
import email
import email.policy
import json
import os
import socket
import sys

from aiosmtpd.controller import Controller


class Recorder:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        parsed = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        record = {
            "helo": session.host_name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "content": envelope.original_content.decode("latin-1"),
            "from_name": parsed["From"].addresses[0].display_name,
            "body": parsed.get_content().replace("\r\n", "\n"),
        }
        path = os.path.join(self.outdir, "message-%d.json" % self.count)
        with open(path + ".tmp", "w") as f:
            json.dump(record, f)
        os.replace(path + ".tmp", path)
        return "250 Message accepted"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    controller = Controller(Recorder(sys.argv[1]), hostname="127.0.0.1", port=free_port())
    controller.start()
    print(controller.port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
