#!/usr/bin/env python3
"""A phone system gone bad, for the client's SIP watch: it accepts the
SUBSCRIBE to the dialog package and answers with NOTIFYs that are hostile
in body and headers, a flood of 1,000 NOTIFYs repeating one ringing call,
one NOTIFY of 300 ringing calls, and last one good call (18800188000).
A huge header is no fault: its call (18700187000) is a good one.
Then it ends the subscription (Subscription-State: terminated); to the
SUBSCRIBE that renews it, it sends the good call again, which is no new
call. Each NOTIFY sent is logged with its answer in LOG.

hostile_pbx.py ADDRESS LOG
"""
import socket
import sys
import time
import uuid

NS = 'xmlns="urn:ietf:params:xml:ns:dialog-info"'


def dialog(ident, number, state="early", direction="recipient"):
    return ('<dialog id="%s" direction="%s"><state>%s</state><remote><identity>sip:%s@pbx</identity>'
            '</remote></dialog>' % (ident, direction, state, number))


def document(dialogs, version):
    return ('<?xml version="1.0"?><dialog-info %s version="%d" state="full" entity="sip:1001@pbx">%s'
            '</dialog-info>' % (NS, version, dialogs)).encode()


def bodies():
    """(name, body, content type, extra headers, broken headers)"""
    deep = b'<dialog-info ' + NS.encode() + b'>' + b'<x>' * 5000 + b'</x>' * 5000 + b'</dialog-info>'
    laughs = (b'<?xml version="1.0"?><!DOCTYPE d [<!ENTITY a "1"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">'
              b'<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">]>'
              b'<dialog-info ' + NS.encode() + b'><dialog id="l" direction="recipient"><state>early</state>'
              b'<remote><identity>sip:&d;@pbx</identity></remote></dialog></dialog-info>')
    kind = "application/dialog-info+xml"
    yield "not well-formed", document(dialog("w", "19000190001"), 2)[:-20], kind, "", False
    yield "nested 5,000 deep", deep, kind, "", False
    yield "entities", laughs, kind, "", False
    yield "200 digits", document(dialog("d200", "1" * 200), 3), kind, "", False
    yield "letters", document(dialog("letters", "1380013800a"), 4), kind, "", False
    yield "wrong encoding", document(dialog("latin", "19000190002"), 5).replace(
        b'version="1.0"?>', b'version="1.0" encoding="UTF-16"?>'), kind, "", False
    yield "bytes that are no UTF-8", document(dialog("\xff\xfe", "19000190003"), 6).replace(b"\xc3\xbf", b"\xff"), \
        kind, "", False
    yield "another type", document(dialog("plain", "19000190004"), 7), "text/plain", "", False
    yield "a header of 60,000 bytes", document(dialog("h1", "18700187000"), 8), kind, "X-Junk: " + "A" * 60000 + "\r\n", False
    yield "a length past the body", document(dialog("h2", "19000190006"), 9), kind, "", True
    yield "a From of angle brackets", document(dialog("h3", "19000190007"), 10), kind, "", "from"
    version = 11
    for _ in range(1000):
        yield "flood", document(dialog("flood", "18600186000"), version), kind, "", False
        version += 1
    many = "".join(dialog("many%d" % i, "170001%05d" % i) for i in range(300))
    yield "300 calls at once", document(many, version), kind, "", False
    yield "the good call", document(dialog("good", "18800188000"), version + 1), kind, "", False


def header(message, name):
    for line in message.split("\r\n")[1:]:
        if line.lower().startswith(name.lower() + ":"):
            return line.split(":", 1)[1].strip()
    return ""


def main():
    address, log_path = sys.argv[1], sys.argv[2]
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, 5060))
    log = open(log_path, "a", buffering=1)
    subscriptions = 0
    while True:
        data, peer = sock.recvfrom(65535)
        request = data.decode("utf-8", "replace")
        if not request.startswith("SUBSCRIBE "):
            continue
        if header(request, "Expires") == "0":
            reply = ("SIP/2.0 200 OK\r\nVia: %s\r\nFrom: %s\r\nTo: %s\r\nCall-ID: %s\r\nCSeq: %s\r\n"
                     "Content-Length: 0\r\n\r\n" % (header(request, "Via"), header(request, "From"),
                                                       header(request, "To"), header(request, "Call-ID"),
                                                       header(request, "CSeq")))
            sock.sendto(reply.encode(), peer)
            log.write("unsubscribed\n")
            continue
        tag = uuid.uuid4().hex[:8]
        to = header(request, "To") + ";tag=" + tag
        reply = ("SIP/2.0 202 Accepted\r\nVia: %s\r\nFrom: %s\r\nTo: %s\r\nCall-ID: %s\r\nCSeq: %s\r\n"
                 "Contact: <sip:%s:5060>\r\nExpires: 600\r\nContent-Length: 0\r\n\r\n" % (
                     header(request, "Via"), header(request, "From"), to, header(request, "Call-ID"),
                     header(request, "CSeq"), address))
        sock.sendto(reply.encode(), peer)
        subscriptions += 1
        log.write("subscribed\n" if subscriptions == 1 else "subscribed again\n")
        target = header(request, "Contact").strip("<>").split(";")[0]
        cseq = 1
        kind = "application/dialog-info+xml"
        sequence = list(bodies()) if subscriptions == 1 else [
            ("the good call again", document(dialog("good", "18800188000"), 1), kind, "", False)]
        if subscriptions == 1:
            sequence.append(("the end", document("", 10000), kind, "", "terminated"))
        for name, body, kind, extra, broken in sequence:
            cseq += 1
            from_header = "<<<>>>;tag=" if broken == "from" else to
            length = len(body) + (1000 if broken is True else 0)
            notify = ("NOTIFY %s SIP/2.0\r\nVia: SIP/2.0/UDP %s:5060;branch=z9hG4bK%s\r\nMax-Forwards: 70\r\n"
                      "From: %s\r\nTo: %s\r\nCall-ID: %s\r\nCSeq: %d NOTIFY\r\nContact: <sip:%s:5060>\r\n"
                      "Event: dialog\r\nSubscription-State: %s\r\nContent-Type: %s\r\n%s"
                      "Content-Length: %d\r\n\r\n" % (
                          target, address, uuid.uuid4().hex, from_header, header(request, "From"),
                          header(request, "Call-ID"), cseq, address,
                          "terminated;reason=timeout" if broken == "terminated" else "active;expires=600", kind, extra,
                          length)).encode() + body
            sock.sendto(notify, peer)
            sock.settimeout(2)
            answer = "none"
            try:
                while True:
                    got, _ = sock.recvfrom(65535)
                    text = got.decode("utf-8", "replace")
                    if text.startswith("SIP/2.0 ") and ("CSeq: %d NOTIFY" % cseq) in text:
                        answer = text.split("\r\n", 1)[0][8:]
                        break
            except socket.timeout:
                pass
            sock.settimeout(None)
            if name != "flood" or cseq % 100 == 0:
                log.write("%s: %s\n" % (name, answer))
        log.write("done\n")


if __name__ == "__main__":
    sys.exit(main())
