#!/usr/bin/env python3
"""Writes a few hundred realistic Suricata eve events, statistics snapshots and
resource reports as Redis protocol on standard output, for `redis-cli --pipe`.
Timestamps spread over the last 24 hours in local time, newest first, as the
companion daemon pushes them."""
import datetime
import json
import random
import sys

random.seed(7)
NOW = datetime.datetime.now().astimezone()
LOCAL_NET = ["192.168.1.%d" % i for i in (10, 11, 23, 42, 77, 105)]
PUBLIC = ["8.8.8.8", "1.1.1.1", "81.2.69.160", "89.160.20.112", "2.125.160.216",
          "175.16.199.5", "216.160.83.56", "2001:db8::1", "203.0.113.9", "198.51.100.23"]
SIGNATURES = [
    (2013028, "ET POLICY curl User-Agent Outbound", "Attempted Information Leak", 2),
    (2210054, "SURICATA STREAM excessive retransmissions", "Generic Protocol Command Decode", 3),
    (2024897, "ET USER_AGENTS Go HTTP Client User-Agent", "Misc activity", 3),
    (2027865, "ET INFO Observed DNS Query to .cloud TLD", "Potentially Bad Traffic", 2),
    (2001219, "ET SCAN Potential SSH Scan", "Attempted Information Leak", 2),
    (2100498, "GPL ATTACK_RESPONSE id check returned root", "Potentially Bad Traffic", 2),
]
DOMAINS = ["example.com", "updates.vendor.test", "cdn.static.test", "mail.corp.test",
           "tracker.ads.test", "api.weather.test"]
flow_counter = [1000000000000000]


def stamp(minutes_ago):
    moment = NOW - datetime.timedelta(minutes=minutes_ago)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + "%06d" % moment.microsecond + \
        moment.strftime("%z")


def base(kind, minutes_ago, proto="TCP", dest=None, dport=443):
    flow_counter[0] += random.randint(1000, 90000)
    return {
        "timestamp": stamp(minutes_ago), "flow_id": flow_counter[0], "in_iface": "eth0",
        "event_type": kind, "src_ip": random.choice(LOCAL_NET),
        "src_port": random.randint(32768, 60999), "dest_ip": dest or random.choice(PUBLIC),
        "dest_port": dport, "proto": proto,
    }


def alert(minutes_ago):
    sid, msg, category, severity = random.choice(SIGNATURES)
    event = base("alert", minutes_ago)
    if random.random() < 0.3:
        event["src_ip"], event["dest_ip"] = event["dest_ip"], event["src_ip"]
    event["alert"] = {"action": "allowed", "gid": 1, "signature_id": sid, "rev": 3,
                      "signature": msg, "category": category, "severity": severity}
    return event


def anomaly(minutes_ago):
    event = base("anomaly", minutes_ago, proto="UDP", dport=53)
    event["anomaly"] = {"type": "applayer", "event": "INVALID_RECORD_TYPE", "layer": "proto_parser"}
    return event


def dns(minutes_ago):
    event = base("dns", minutes_ago, proto="UDP", dest="192.168.1.1", dport=53)
    name = random.choice(DOMAINS)
    if random.random() < 0.5:
        event["dns"] = {"type": "query", "id": random.randint(1, 65535), "rrname": name, "rrtype": "A"}
    else:
        event["dns"] = {"type": "answer", "id": random.randint(1, 65535), "rrname": name,
                        "rrtype": "A", "rcode": "NOERROR", "rdata": random.choice(PUBLIC[:7])}
    return event


def dhcp(minutes_ago):
    event = base("dhcp", minutes_ago, proto="UDP", dest="255.255.255.255", dport=67)
    event["dhcp"] = {"type": "request", "id": random.randint(1, 2**31),
                     "client_mac": "52:54:00:%02x:%02x:%02x" % tuple(random.randint(0, 255) for _ in range(3)),
                     "dhcp_type": random.choice(["discover", "offer", "request", "ack", "inform"])}
    return event


def http(minutes_ago):
    event = base("http", minutes_ago, dport=80)
    event["http"] = {"hostname": random.choice(DOMAINS), "url": "/index.html", "http_method": "GET",
                     "http_user_agent": "curl/7.88.1", "protocol": "HTTP/1.1", "status": 200, "length": 1270}
    return event


def tls(minutes_ago):
    event = base("tls", minutes_ago)
    event["tls"] = {"sni": random.choice(DOMAINS), "version": "TLS 1.3",
                    "ja3": {"hash": "%032x" % random.getrandbits(128)}}
    return event


def flow(minutes_ago):
    event = base("flow", minutes_ago, proto=random.choice(["TCP", "UDP"]))
    event["flow"] = {"pkts_toserver": random.randint(1, 90), "pkts_toclient": random.randint(1, 90),
                     "bytes_toserver": random.randint(60, 90000), "bytes_toclient": random.randint(60, 90000),
                     "start": stamp(minutes_ago + 1), "end": stamp(minutes_ago), "state": "closed"}
    return event


def stats(minutes_ago, index):
    packets = 2000000 - index * 4000
    return {"timestamp": stamp(minutes_ago), "event_type": "stats", "stats": {
        "uptime": 86400 - minutes_ago * 60,
        "capture": {"kernel_packets": packets, "kernel_drops": index % 7},
        "decoder": {"pkts": packets, "bytes": packets * 600, "ipv4": packets - 900, "ipv6": 900,
                    "tcp": packets // 2, "udp": packets // 3, "icmp4": 120, "icmp6": 40},
        "detect": {"alert": 400 - index},
        "app_layer": {"flow": {"http": 5000 - index * 10, "tls": 9000 - index * 20, "memuse": 1048576}},
    }}


def report(minutes_ago, index):
    return {"timestamp": stamp(minutes_ago), "CPU_percent": round(random.uniform(0.05, 0.6), 3),
            "physical_memory": random.randint(180, 260), "virtual_memory": random.randint(900, 1100),
            "alerts": 400 - index}


def resp(*args):
    out = ["*%d\r\n" % len(args)]
    for arg in args:
        data = arg.encode()
        out.append("$%d\r\n" % len(data))
        out.append(data.decode() + "\r\n")
    return "".join(out)


def main():
    lists = {}
    makers = {"alert": (alert, 120), "anomaly": (anomaly, 40), "dns": (dns, 80), "dhcp": (dhcp, 20),
              "http": (http, 40), "tls": (tls, 40), "flow": (flow, 60)}
    for kind, (make, count) in makers.items():
        minutes = sorted(random.uniform(0, 24 * 60) for _ in range(count))
        lists[kind] = [make(m) for m in minutes]
    lists["stats"] = [stats(i * 30, i) for i in range(48)]
    lists["stats_report"] = [report(i * 30, i) for i in range(48)]
    for key, events in lists.items():
        for event in events:
            sys.stdout.write(resp("RPUSH", key, json.dumps(event, separators=(",", ":"))))


if __name__ == "__main__":
    main()
