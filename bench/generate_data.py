#!/usr/bin/env python3
"""Writes the benchmark's sensor as Redis protocol on standard output, for
`redis-cli --pipe`: eve events over the 16 lists that the histogram counts,
1,440 statistics snapshots (one a minute for a day) and as many resource
reports. Newest first, as the companion daemon pushes them; timestamps spread
over the last 24 hours in local time.

Usage: generate_data.py [--scale S] [--tiny]
  --scale S  multiplies every event list (2 doubles the sensor)
  --tiny     a few events per list, for the smoke run
"""
import argparse
import base64
import datetime
import json
import random
import sys

# Events per list at scale 1: 200,000 in all, the shares of a busy sensor.
LIST_SIZES = {
    "alert": 16000, "anomaly": 8000, "quic": 3000, "ftp": 2500, "drop": 3000,
    "dhcp": 2000, "http2": 3000, "bittorrent_dht": 2500, "smb": 3000, "dns": 44000,
    "flow": 60000, "http": 20000, "tls": 20000, "fileinfo": 7560, "ssh": 4000,
}
STATS_ENTRIES = 1440

NOW = datetime.datetime.now().astimezone()
LOCAL_NET = ["192.168.1.%d" % i for i in range(2, 60)]
PUBLIC = ["8.8.8.8", "1.1.1.1", "81.2.69.160", "89.160.20.112", "2.125.160.216",
          "175.16.199.5", "216.160.83.56", "2001:db8::1", "203.0.113.9", "198.51.100.23"]
SIGNATURES = [(2010000 + i, "ET POLICY benchmark signature %d" % i,
               ["Attempted Information Leak", "Misc activity", "Potentially Bad Traffic"][i % 3])
              for i in range(120)]
DOMAINS = ["example.com", "updates.vendor.test", "cdn.static.test", "mail.corp.test",
           "tracker.ads.test", "api.weather.test"]


def stamp(minutes_ago):
    moment = NOW - datetime.timedelta(minutes=minutes_ago)
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + "%06d" % moment.microsecond + \
        moment.strftime("%z")


class Flows:
    """Distinct flow ids: 16 digits, increasing by a random step."""
    def __init__(self):
        self.last = 1000000000000000

    def next(self):
        self.last += random.randint(1000, 90000)
        return self.last


def event(kind, minutes_ago, flows):
    source = random.choice(LOCAL_NET)
    dest = random.choice(PUBLIC)
    record = {
        "timestamp": stamp(minutes_ago), "flow_id": flows.next(), "in_iface": "eth0",
        "event_type": kind, "src_ip": source, "src_port": random.randint(32768, 60999),
        "dest_ip": dest, "dest_port": random.choice([53, 80, 443, 22, 8080]),
        "proto": random.choice(["TCP", "UDP"]), "community_id": "1:" + base64.b64encode(
            random.getrandbits(160).to_bytes(20, "big")).decode(),
        "flow": {"pkts_toserver": random.randint(1, 90), "pkts_toclient": random.randint(1, 90),
                 "bytes_toserver": random.randint(60, 90000),
                 "bytes_toclient": random.randint(60, 90000), "start": stamp(minutes_ago + 1)},
    }
    if kind == "alert":
        sid, msg, category = random.choice(SIGNATURES)
        record["alert"] = {"action": "allowed", "gid": 1, "signature_id": sid, "rev": 3,
                           "signature": msg, "category": category,
                           "severity": random.randint(1, 3),
                           "metadata": {"created_at": ["2019_07_26"], "updated_at": ["2024_01_02"]}}
        record["payload"] = base64.b64encode(random.randbytes(240)).decode()
        record["payload_printable"] = "GET /index.html HTTP/1.1\r\nHost: %s\r\n\r\n" % \
            random.choice(DOMAINS)
        record["stream"] = 0
    elif kind == "dns":
        record["dns"] = {"type": random.choice(["query", "answer"]),
                         "id": random.randint(1, 65535), "rrname": random.choice(DOMAINS),
                         "rrtype": "A", "rcode": "NOERROR"}
    elif kind == "dhcp":
        record["dhcp"] = {"type": "request", "id": random.randint(1, 2**31),
                          "client_mac": "52:54:00:%02x:%02x:%02x" % tuple(
                              random.randint(0, 255) for _ in range(3)),
                          "dhcp_type": random.choice(
                              ["discover", "offer", "request", "ack", "inform"])}
    elif kind == "http":
        record["http"] = {"hostname": random.choice(DOMAINS), "url": "/index.html",
                          "http_method": "GET", "http_user_agent": "curl/7.88.1",
                          "protocol": "HTTP/1.1", "status": 200, "length": 1270}
    elif kind == "tls":
        record["tls"] = {"sni": random.choice(DOMAINS), "version": "TLS 1.3",
                         "ja3": {"hash": "%032x" % random.getrandbits(128)}}
    else:
        record[kind.replace("-", "_")] = {"state": "closed", "reason": "timeout"}
    return record


def stats(index):
    packets = 9000000 - index * 4000
    return {"timestamp": stamp(index), "event_type": "stats", "stats": {
        "uptime": 86400 - index * 60,
        "capture": {"kernel_packets": packets, "kernel_drops": index % 7},
        "decoder": {"pkts": packets, "bytes": packets * 600, "ipv4": packets - 900,
                    "ipv6": 900, "tcp": packets // 2, "udp": packets // 3, "icmp4": 120,
                    "icmp6": 40},
        "detect": {"alert": 4000 - index},
        "app_layer": {"flow": {"http": 50000 - index * 10, "tls": 90000 - index * 20,
                               "memuse": 1048576}},
    }}


def report(index):
    return {"timestamp": stamp(index), "CPU_percent": round(random.uniform(0.05, 0.6), 3),
            "physical_memory": random.randint(180, 260),
            "virtual_memory": random.randint(900, 1100), "alerts": 4000 - index}


def command(*args):
    out = [b"*%d\r\n" % len(args)]
    for arg in args:
        data = arg.encode()
        out.append(b"$%d\r\n%s\r\n" % (len(data), data))
    return b"".join(out)


def push(out, key, records):
    # One RPUSH per 200 records keeps each command small.
    for start in range(0, len(records), 200):
        batch = [json.dumps(r, separators=(",", ":")) for r in records[start:start + 200]]
        out.write(command("RPUSH", key, *batch))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--tiny", action="store_true")
    options = parser.parse_args()
    random.seed(11)
    flows = Flows()
    out = sys.stdout.buffer
    for key, size in LIST_SIZES.items():
        count = 5 if options.tiny else int(size * options.scale)
        minutes = sorted(random.uniform(0, 24 * 60) for _ in range(count))
        push(out, key, [event(key, m, flows) for m in minutes])
    entries = 5 if options.tiny else STATS_ENTRIES
    push(out, "stats", [stats(i) for i in range(entries)])
    push(out, "stats_report", [report(i) for i in range(entries)])


if __name__ == "__main__":
    main()
