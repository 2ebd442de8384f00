#!/usr/bin/env python3
"""End-to-end run of varnelprobe.exe under wine against simulated tuners (scripts/run-probe.sh):
its output must equal, byte for byte, the code page 932 text expected for each set-up.

    probe_e2e.py BUILD_DIR [--without-tuners]

--without-tuners runs only the set-ups without tuners, which take seconds, not the minute of
fixed pauses of the run with two tuners.

Prints the time each run took beside the fixed pauses of the sequence (a figure, not a check).
"""
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

HEADER = "デバイス数を取得します。\nVARNEL found={count} {result}\nチューナー数: {count}\n\n"

TUNER = """チューナー{i}
テスト1: 電源制御
チューナーの電源をOffにしてから五秒後に電源をOnします。
VARNEL_SetPower()=0
VARNEL_SetPower()=0

テスト2: チャンネル制御
リモコンボタン1のチャンネルに切り替えてから五秒後にチャンネルアップ、その五秒後にチャンネルダウンします。
VARNEL_SetChannel(1)=0
VARNEL_SetChannel(VARNEL_CHANNEL_UP)=0
VARNEL_SetChannel(VARNEL_CHANNEL_DOWN)=0

テスト3: 番組名取得
番組名と論理チャンネル番号を取得します。
VARNEL_GetProgramName={name_result}
{name} {channel}

テスト4: ステータス取得
現在のチューナーステータスを取得します。
VARNEL_GetStatus=0
Power:1 Lock:1

テスト5: ネットワーク切り替え制御
地上デジタル放送に切り替えて五秒後にBSデジタル放送に切り替え、その五秒後に地上デジタル放送に切り替えします。
VARNEL_SetChannel(VARNEL_NETWORK_DTT)=0
VARNEL_SetChannel(VARNEL_NETWORK_BS)=0
VARNEL_SetChannel(VARNEL_NETWORK_DTT)=0

"""

# What each tuner receives in the five tests, byte for byte: the power cycle, three keys, the
# programme query (once, or ten times when the name cannot be read), the two status queries, and
# the three network keys.
def commands(name_attempts):
    return (b"SETPOWER off\rSETPOWER on\r" + b"REMOTE 8\rREMOTE 23\rREMOTE 26\r" +
            b"GETSTAT\r" * name_attempts + b"GETSTAT\rGETSTAT\r" + b"REMOTE 5\rREMOTE 2\rREMOTE 5\r")


PAUSES_PER_TUNER = 28.0  # seconds of fixed pauses in one tuner's five tests
RETRY_PAUSES = 5.0       # ten 500 ms pauses of a programme name that cannot be read


def expected(count, result, tuners):
    text = HEADER.format(count=count, result=result)
    for i, (name_result, name, channel) in enumerate(tuners, 1):
        text += TUNER.format(i=i, name_result=name_result, name=name, channel=channel)
    # The program writes through a text-mode stream: every line ends in CR LF.
    return text.replace("\n", "\r\n").encode("cp932")


def run(build, setup, tuners):
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "probe.out")
        start = time.monotonic()
        with open(os.path.join(work, "shown.txt"), "wb") as shown:
            status = subprocess.call([os.path.join(ROOT, "scripts", "run-probe.sh"), "--build", build,
                                      "--output", out, "--received", work] + setup,
                                     stdout=shown, stderr=subprocess.STDOUT)
        elapsed = time.monotonic() - start
        data = open(out, "rb").read() if os.path.exists(out) else b""
        if status != 0 or not data:
            # What the run script itself printed tells why the program gave nothing.
            sys.stdout.write(open(os.path.join(work, "shown.txt"), errors="replace").read())
        received = []
        for i in range(1, tuners + 1):
            path = os.path.join(work, "tuner%d.received" % i)
            received.append(open(path, "rb").read() if os.path.exists(path) else b"")
        return status, data, elapsed, received


def first_difference(got, want):
    for n, (a, b) in enumerate(zip(got.split(b"\r\n"), want.split(b"\r\n")), 1):
        if a != b:
            return "line %d: got %r, expected %r" % (n, a.decode("cp932", "replace"),
                                                      b.decode("cp932", "replace"))
    return "lengths differ: %d bytes, expected %d" % (len(got), len(want))


def main():
    build = os.path.abspath(sys.argv[1])
    without_tuners = "--without-tuners" in sys.argv[2:]
    # The runs without tuners come first: their time is the cost of starting a run at all.
    cases = [
        ("driver key missing", ["--no-driver"], expected(0, -8, []), 0.0, []),
        ("driver key without tuners", ["--no-tuner"], expected(0, 0, []), 0.0, []),
        ("two tuners, the second one's name unreadable", ["--unreadable-name"],
         expected(2, 0, [(0, "表彰式ソング特集", "011"), (-6, "nodata", "011")]),
         2 * PAUSES_PER_TUNER + RETRY_PAUSES, [commands(1), commands(10)]),
    ]
    if without_tuners:
        cases = [case for case in cases if not case[4]]
    failed = 0
    startup = None
    for title, setup, want, pauses, sent in cases:
        tuners = len(sent)
        status, got, elapsed, received = run(build, setup, tuners)
        wrong = ["tuner %d received %r, expected %r" % (i, r, s)
                 for i, (r, s) in enumerate(zip(received, sent), 1) if r != s]
        if status != 0 or got != want or wrong:
            failed += 1
            print("FAIL %s: exit %d, %s" % (title, status, "; ".join(wrong) if got == want
                                                 else first_difference(got, want)))
        else:
            print("ok   %s" % title)
        if not tuners:
            startup = elapsed if startup is None else min(startup, elapsed)
        else:
            print("     %.1f s: %.1f s fixed pauses, %.1f s starting wine and the simulators,"
                  " %.2f s a tuner beyond that" % (elapsed, pauses, startup,
                                                   (elapsed - pauses - startup) / tuners))
    print("%d passed, %d failed" % (len(cases) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
