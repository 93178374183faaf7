#!/usr/bin/python3
"""A local SMTP server for the tests, on a free loopback port.

  smtp_test_server.py serve STORE [--mode MODE] [--reply-delay SECONDS]
                             [--no-8bitmime] [--size-limit OCTETS]
                             [--tls CERT KEY] [--require-starttls] [--implicit-tls]
                             [--auth USER:PASSWORD] [--auth-required] [--auth-plain-text]
                             [--smtputf8] [--refuse ADDRESS]...
      Prints "READY <port>" once it listens, then serves until killed.
      Each accepted message goes to STORE/message-<n>.eml (the data as received,
      transparency removed) with STORE/message-<n>.json (envelope); every chunk
      received and every reply sent is appended to STORE/transcript.jsonl;
      STORE/message-<n>.summary.json holds what "inspect" prints for it.
      MODE: accept (default), refuse-recipient, refuse-data, greeting-421,
      close-after-mail, silent, no-ehlo (502 to EHLO), slow-data-end (3 s
      before the reply to the end of data).
      --tls offers STARTTLS with that certificate and key (PEM); --require-starttls
      refuses everything but EHLO, NOOP and QUIT before it; --implicit-tls
      speaks TLS from the first byte instead. --auth takes that one login
      (PLAIN and LOGIN), offered over TLS only unless --auth-plain-text;
      --auth-required refuses mail without it.
      --no-8bitmime leaves 8BITMIME out of the EHLO reply; --size-limit sets the
      limit that EHLO offers as SIZE (default aiosmtpd's 32 MiB); --smtputf8
      offers SMTPUTF8 (RFC 6531); --refuse answers 550 to RCPT TO of that address.
  smtp_test_server.py inspect FILE
      Parses a stored message with the email package and prints a JSON summary.
"""

import argparse
import base64
import email
import email.policy
import json
import os
import sys
import time


def serve(store_dir, mode, reply_delay, offer_8bitmime=True, size_limit=None, tls=None,
          require_starttls=False, implicit_tls=False, auth=None, auth_required=False,
          auth_plain_text=False, smtputf8=False, refused=()):
    # Imported here: loading them takes longer than parsing a message.
    import asyncio
    import ssl

    from aiosmtpd.smtp import SMTP

    context = None
    if tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(tls[0], tls[1])

    # aiosmtpd 1.4's AuthResult path never answers a wrong password; the
    # callback path answers 535 as servers do.
    def check_login(mechanism, login, password):
        user, secret = auth.split(":", 1)
        return login == user.encode() and password == secret.encode()

    class Store:
        def __init__(self, folder):
            self.folder = folder
            self.count = 0
            self.transcript = open(os.path.join(folder, "transcript.jsonl"), "a", encoding="utf-8")

        def log(self, direction, data):
            entry = {"t": time.monotonic(), "dir": direction, "data": data.decode("latin-1")}
            self.transcript.write(json.dumps(entry) + "\n")
            self.transcript.flush()

        def save(self, envelope):
            self.count += 1
            base = os.path.join(self.folder, "message-%d" % self.count)
            with open(base + ".eml.tmp", "wb") as f:
                f.write(envelope.original_content)
            with open(base + ".json.tmp", "w", encoding="utf-8") as f:
                json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                           "smtp_utf8": envelope.smtp_utf8, "mail_options": envelope.mail_options}, f)
            with open(base + ".summary.json", "w", encoding="utf-8") as f:
                json.dump(summarize(envelope.original_content), f)
            os.rename(base + ".json.tmp", base + ".json")
            os.rename(base + ".eml.tmp", base + ".eml")

    class Handler:
        def __init__(self, store, mode):
            self.store = store
            self.mode = mode

        async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
            if self.mode == "refuse-recipient" or address in refused:
                return "550 5.1.1 <%s>: Recipient address rejected" % address
            envelope.rcpt_tos.append(address)
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            if self.mode == "slow-data-end":
                await asyncio.sleep(3)
            if self.mode == "refuse-data":
                return "554 5.6.0 Message rejected as spam"
            self.store.save(envelope)
            return "250 2.0.0 Ok: queued as %d" % self.store.count

    class TestSMTP(SMTP):
        def __init__(self, handler, store, mode, reply_delay):
            options = {} if size_limit is None else {"data_size_limit": size_limit}
            if context and not implicit_tls:
                options.update(tls_context=context, require_starttls=require_starttls)
            if auth:
                options.update(auth_callback=check_login, auth_required=auth_required,
                               auth_require_tls=not auth_plain_text)
            super().__init__(handler, hostname="test.invalid", enable_SMTPUTF8=smtputf8, **options)
            self.store = store
            self.mode = mode
            self.reply_delay = reply_delay

        def data_received(self, data):
            self.store.log("C", data)
            super().data_received(data)

        async def push(self, status):
            if not offer_8bitmime and status == "250-8BITMIME":
                return
            if self.reply_delay:
                await asyncio.sleep(self.reply_delay)
            response = status.encode("utf-8") if isinstance(status, str) else status
            self.store.log("S", response + b"\r\n")
            await super().push(status)

        async def _handle_client(self):
            if self.mode == "silent":
                await asyncio.sleep(3600)
                return
            if self.mode == "greeting-421":
                await self.push("421 4.3.2 test.invalid Service not available")
                self.transport.close()
                return
            await super()._handle_client()

        async def smtp_EHLO(self, hostname):
            if self.mode == "no-ehlo":
                await self.push("502 5.5.1 Command not implemented")
                return
            await super().smtp_EHLO(hostname)

        async def smtp_MAIL(self, arg):
            if self.mode == "close-after-mail":
                self.transport.close()
                return
            await super().smtp_MAIL(arg)

    async def run():
        store = Store(store_dir)
        handler = Handler(store, mode)
        loop = asyncio.get_running_loop()
        server = await loop.create_server(lambda: TestSMTP(handler, store, mode, reply_delay), "127.0.0.1", 0,
                                          ssl=context if implicit_tls else None)
        port = server.sockets[0].getsockname()[1]
        print("READY %d" % port, flush=True)
        async with server:
            await server.serve_forever()

    asyncio.run(run())


# Python's address parser predates RFC 6532 and flags every local part beyond
# ASCII; in a header that is valid UTF-8 that flag is no fault.
UTF8_ADDRESS_DEFECT = "NonASCIILocalPartDefect"


def summarize(raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    # A header beyond ASCII must be UTF-8 (RFC 6532); it is then read as text,
    # as a reader that knows SMTPUTF8 does.
    header_block = raw.split(b"\r\n\r\n", 1)[0]
    header = msg
    utf8_header = False
    defects = []
    try:
        header_block.decode("ascii")
    except UnicodeDecodeError:
        try:
            header = email.message_from_string(header_block.decode("utf-8") + "\r\n\r\n",
                                               policy=email.policy.default)
            utf8_header = True
        except UnicodeDecodeError:
            defects.append("header: neither ASCII nor UTF-8")
    parts = []
    for part in msg.walk():
        defects += ["%s: %s" % (part.get_content_type(), type(d).__name__) for d in part.defects]
        for name, value in (header if part is msg else part).items():
            for d in getattr(value, "defects", ()):
                kind = type(d).__name__
                if not (utf8_header and name in ("From", "To") and kind == UTF8_ADDRESS_DEFECT):
                    defects.append("%s header: %s" % (name, kind))
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True)
        entry = {
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "filename": part.get_filename(),
            "bytes": base64.b64encode(payload or b"").decode("ascii"),
            "transfer_encoding": part.get("Content-Transfer-Encoding", ""),
        }
        if part.get_content_maintype() == "text":
            entry["text"] = part.get_content()
        parts.append(entry)
    senders = getattr(header["From"], "addresses", ())
    date = header["Date"]
    summary = {
        "defects": defects,
        "from": str(header["From"]),
        "from_name": senders[0].display_name if senders else None,
        "from_address": senders[0].addr_spec if senders else None,
        "to": str(header["To"]),
        "to_addresses": [[a.display_name, a.addr_spec] for a in getattr(header["To"], "addresses", ())],
        "subject": str(header["Subject"]),
        # The date as UTC seconds, and its offset in minutes; absent when unreadable.
        "date": date.datetime.timestamp() if date is not None and date.datetime is not None else None,
        "date_offset": (date.datetime.utcoffset().total_seconds() // 60
                        if date is not None and date.datetime is not None and date.datetime.tzinfo else None),
        "message_id": str(header["Message-ID"]) if header["Message-ID"] is not None else None,
        "content_type": msg.get_content_type(),
        "headers": list(msg.keys()),
        "parts": parts,
    }
    return summary


def inspect(path):
    with open(path, "rb") as f:
        json.dump(summarize(f.read()), sys.stdout)


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    serve_parser = sub.add_parser("serve")
    serve_parser.add_argument("store")
    serve_parser.add_argument("--mode", default="accept")
    serve_parser.add_argument("--reply-delay", type=float, default=0.0)
    serve_parser.add_argument("--no-8bitmime", action="store_true")
    serve_parser.add_argument("--size-limit", type=int, default=None)
    serve_parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    serve_parser.add_argument("--require-starttls", action="store_true")
    serve_parser.add_argument("--implicit-tls", action="store_true")
    serve_parser.add_argument("--auth")
    serve_parser.add_argument("--auth-required", action="store_true")
    serve_parser.add_argument("--auth-plain-text", action="store_true")
    serve_parser.add_argument("--smtputf8", action="store_true")
    serve_parser.add_argument("--refuse", action="append", default=[])
    inspect_parser = sub.add_parser("inspect")
    inspect_parser.add_argument("file")
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.store, args.mode, args.reply_delay, not args.no_8bitmime, args.size_limit, args.tls,
              args.require_starttls, args.implicit_tls, args.auth, args.auth_required, args.auth_plain_text,
              args.smtputf8, tuple(args.refuse))
    else:
        inspect(args.file)


if __name__ == "__main__":
    main()
