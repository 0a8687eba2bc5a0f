#!/usr/bin/env python3
"""Data for the rule and indicator benchmark: a rules file of N rule lines
(about 710 bytes each, one in eight switched off) and a threat feed CSV of
M lines (most first seen within the last 30 days, some of types that the
store never holds). Deterministic for a given seed; dates are relative to now.

The sensor-rules file is shaped as the rule updater writes real sources: a
licence header, long messages holding parentheses, colons and escaped quotes,
sticky buffers, contents with escaped semicolons, pcre with backslashes,
metadata after rev, one rule in eight switched off as "# alert", and now and
then a bundled event rule without rev.

usage: gen_rules.py rules OUT N | gen_rules.py sensor-rules OUT N | gen_rules.py feed OUT M
"""
import datetime
import random
import sys

WORDS = ["Trojan", "Backdoor", "Exploit", "Phishing", "Scan", "Policy", "Malware",
         "Botnet", "Dropper", "Loader", "Stealer", "Miner", "Worm", "Ransom"]
CLASSES = ["trojan-activity", "policy-violation", "attempted-admin", "bad-unknown",
           "web-application-attack", "misc-activity", "command-and-control"]
CATEGORIES = ["ET MALWARE", "ET POLICY", "ET TROJAN", "ET SCAN", "ET EXPLOIT", "ET INFO"]


def rule_line(rng, sid):
    action = "alert" if rng.random() < 0.8 else "drop"
    proto = rng.choice(["tcp", "udp", "http", "dns", "tls"])
    words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 5)))
    cnc = " CnC Beacon" if rng.random() < 0.15 else ""
    msg = f"{rng.choice(CATEGORIES)} {words}{cnc} {sid}"
    contents = "".join(
        f'content:"|{rng.randint(0, 255):02x} {rng.randint(0, 255):02x}|{rng.choice(WORDS).lower()}"; '
        f"depth:{rng.randint(4, 64)}; fast_pattern; "
        for _ in range(rng.randint(2, 5)))
    metadata = ", ".join(
        f"{key} {value}" for key, value in [
            ("affected_product", "Windows_XP_Vista_7_8_10_Server_32_64_Bit"),
            ("attack_target", "Client_Endpoint"),
            ("created_at", f"20{rng.randint(10, 24)}_0{rng.randint(1, 9)}_1{rng.randint(0, 9)}"),
            ("deployment", "Perimeter"),
            ("former_category", rng.choice(WORDS).upper()),
            ("signature_severity", rng.choice(["Major", "Minor", "Informational"])),
            ("updated_at", f"20{rng.randint(10, 24)}_1{rng.randint(0, 2)}_0{rng.randint(1, 9)}"),
        ])
    line = (f'{action} {proto} $HOME_NET any -> $EXTERNAL_NET any (msg:"{msg}"; '
            f"flow:established,to_server; {contents}"
            f"reference:url,www.example.org/research/{rng.randint(1000, 99999)}; "
            f"classtype:{rng.choice(CLASSES)}; sid:{sid}; rev:{rng.randint(1, 9)}; "
            f"metadata:{metadata};)")
    pad = 710 - len(line)
    if pad > 0:
        line = line[:-2] + "; tag:" + "x" * max(1, pad - 7) + ";)"
    return ("#" if rng.random() < 0.125 else "") + line


def sensor_rule_line(rng, sid):
    if rng.random() < 0.02:
        # A bundled event rule: no rev, the options read to the end.
        return (f'alert pkthdr any any -> any any (msg:"SURICATA IPv4 unknown protocol {sid}"; '
                f"decode-event:ipv4.unknown_protocol; classtype:protocol-command-decode; "
                f"sid:{sid};)")
    proto = rng.choice(["tcp", "udp", "http", "dns", "tls"])
    words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 8)))
    extra = rng.choice([" (CVE-2021-44228)", " M2 (set)", ' (\\"login\\")', " admin:admin",
                        " Observed in TLS SNI (example .com)", ""])
    msg = f"{rng.choice(CATEGORIES)} {words}{extra}"
    options = [f'msg:"{msg}"', "flow:established,to_server"]
    for _ in range(rng.randint(2, 6)):
        options.append(rng.choice(["http.method", "http.uri", "http.header", "tls.sni",
                                   "dns.query", "http.user_agent"]))
        options.append(f'content:"{rng.choice(WORDS).lower()}|3b 20|{rng.randint(0, 99)}\\;x"')
        options.append(rng.choice(["nocase", "fast_pattern", "startswith", "endswith",
                                   f"depth:{rng.randint(4, 64)}", f"offset:{rng.randint(0, 9)}"]))
    if rng.random() < 0.5:
        options.append('pcre:"/^\\/[a-z]{3,8}\\.php\\?id=\\d+(&|$)/Ui"')
    if rng.random() < 0.3:
        options.append("flowbits:set,ET.sensor.shape")
    options.append(f"reference:url,www.example.org/research/{rng.randint(1000, 99999)}")
    options.append(f"classtype:{rng.choice(CLASSES)}")
    options += [f"sid:{sid}", f"rev:{rng.randint(1, 9)}"]
    options.append("metadata:" + ", ".join([
        "affected_product Any", "attack_target Client_Endpoint",
        f"created_at 20{rng.randint(10, 24)}_0{rng.randint(1, 9)}_1{rng.randint(0, 9)}",
        "deployment Perimeter", f"signature_severity {rng.choice(['Major', 'Minor'])}",
        f"updated_at 20{rng.randint(10, 24)}_1{rng.randint(0, 2)}_0{rng.randint(1, 9)}"]))
    line = (f"alert {proto} $HOME_NET any -> $EXTERNAL_NET any (" + "; ".join(options) + ";)")
    return ("# " if rng.random() < 0.125 else "") + line


def feed_line(rng, number, now):
    kind = rng.random()
    if kind < 0.35:
        ioc_type, value = "ip:port", f"{rng.randint(1, 223)}.{rng.randint(0, 255)}.{rng.randint(0, 255)}.{rng.randint(1, 254)}:{rng.choice([80, 443, 8080, 4444, 1337])}"
    elif kind < 0.65:
        ioc_type, value = "domain", f"{rng.choice(WORDS).lower()}{number}.example.net"
    elif kind < 0.93:
        ioc_type, value = "url", f"http://{rng.choice(WORDS).lower()}{number}.example.com:8080/path/{number}/payload.bin?x={number}"
    else:
        ioc_type, value = "sha256_hash", "%064x" % rng.getrandbits(256)
    age = datetime.timedelta(days=rng.uniform(0, 30.0 if rng.random() < 0.92 else 90.0))
    seen = (now - age).strftime("%Y-%m-%d %H:%M:%S")
    malware = rng.choice(WORDS).lower()
    fields = [seen, str(1000000 + number), value, ioc_type, "botnet_cc",
              f"win.{malware}", f"{malware.capitalize()}Bot,{malware}x",
              f"{malware.capitalize()} Loader", "", str(rng.choice([50, 75, 100])),
              f"https://example.org/reports/{number}/", f"{malware},elf,exe",
              "0", "reporter" + str(number % 97)]
    return ",".join('"' + f.replace('"', '""') + '"' for f in fields)


def main():
    what, out, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    rng = random.Random(20261210)
    now = datetime.datetime.utcnow()
    with open(out, "w") as f:
        if what == "rules":
            for sid in range(2000001, 2000001 + count):
                f.write(rule_line(rng, sid) + "\n")
        elif what == "sensor-rules":
            f.write("# Copyright (c) the rule source's authors. All rights reserved.\n#\n")
            for sid in range(2000001, 2000001 + count):
                f.write(sensor_rule_line(rng, sid) + "\n")
        else:
            f.write("# feed: full export\n")
            for number in range(count):
                f.write(feed_line(rng, number, now) + "\n")


if __name__ == "__main__":
    main()
