#!/usr/bin/env python3
"""An SMTP relay for the mailer's tests, on 127.0.0.1 only.

Asks for LOGIN authentication, and writes what it received to --record, one
JSON object per line: each step of the login ("auth-step": challenge and the
client's decoded answer), the login's outcome ("auth"), "data-started" when a
message begins to arrive, and the message itself ("mail": envelope sender,
recipients, the data, whether TLS and a login were in force).

Prints the port it listens on as its first line, then serves until SIGTERM.
Options make it refuse recipients, hold a message's DATA open until a release
file appears (bounded), or offer STARTTLS with a given certificate.
"""
import argparse
import asyncio
import json
import os
import signal
import socket
import ssl
import sys
import logging

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

HOLD_LIMIT_SECONDS = 30


class Recorder:
    def __init__(self, path):
        self._file = open(path, "a", encoding="utf-8", buffering=1)

    def write(self, **event):
        self._file.write(json.dumps(event) + "\n")
        self._file.flush()


class Handler:
    def __init__(self, args, recorder):
        self.args = args
        self.recorder = recorder

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.args.refuse_recipient:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.recorder.write(event="data-started")
        if self.args.hold_until:
            loop = asyncio.get_running_loop()
            deadline = loop.time() + HOLD_LIMIT_SECONDS
            while not os.path.exists(self.args.hold_until) and loop.time() < deadline:
                await asyncio.sleep(0.02)
        self.recorder.write(
            event="mail",
            mail_from=envelope.mail_from,
            rcpt_tos=envelope.rcpt_tos,
            data=envelope.content.decode("utf-8", "replace"),
            tls=session.ssl is not None,
            authenticated=bool(session.authenticated),
        )
        return "250 2.0.0 Accepted"


class RecordingSMTP(SMTP):
    """Keeps each challenge of the login and the client's answer to it."""

    recorder = None

    async def challenge_auth(self, challenge, encode_to_b64=True, log_client_response=False):
        answer = await super().challenge_auth(challenge, encode_to_b64, log_client_response)
        text = challenge.decode() if isinstance(challenge, bytes) else challenge
        self.recorder.write(
            event="auth-step",
            challenge=text,
            answer=answer.decode("utf-8", "replace") if isinstance(answer, bytes) else None,
        )
        return answer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--user", default="Quillshare")
    parser.add_argument("--password", default="quill")
    parser.add_argument("--refuse-recipient", action="append", default=[])
    parser.add_argument("--hold-until", help="hold DATA open until this file exists")
    parser.add_argument("--cert", help="offer STARTTLS with this certificate")
    parser.add_argument("--key")
    args = parser.parse_args()
    logging.getLogger("mail.log").setLevel(logging.ERROR)  # aiosmtpd's deprecation notes are noise here

    recorder = Recorder(args.record)
    RecordingSMTP.recorder = recorder

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (
            isinstance(auth_data, LoginPassword)
            and auth_data.login.decode() == args.user
            and auth_data.password.decode() == args.password
        )
        recorder.write(
            event="auth",
            mechanism=mechanism,
            login=auth_data.login.decode("utf-8", "replace"),
            password=auth_data.password.decode("utf-8", "replace"),
            success=ok,
            tls=session.ssl is not None,
        )
        return AuthResult(success=ok, handled=False)  # a refusal is answered 535

    tls_context = None
    if args.cert:
        tls_context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls_context.load_cert_chain(args.cert, args.key)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Handler(args, recorder)

    def make_session():
        return RecordingSMTP(
            handler,
            hostname="relay.test",  # no name lookup
            authenticator=authenticator,
            auth_require_tls=bool(tls_context),
            auth_exclude_mechanism=["PLAIN"],
            tls_context=tls_context,
            loop=loop,
        )

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    sock.listen(8)
    server = loop.run_until_complete(loop.create_server(make_session, sock=sock))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    print(sock.getsockname()[1], flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
