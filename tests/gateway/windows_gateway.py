"""fabricor-cli.exe gateway under Wine, with a COM port for its RTU line: the port is one end of
a socat pseudo-terminal pair, a pymodbus RTU slave (address 2) is on the other end, and a
pymodbus TCP client on this side reads and writes through the gateway over 127.0.0.1. Reads give
the slave's values, what the table does not hold and a device that never answers get the
gateway's exceptions, Ctrl-C stops it with its counters. COM10 is used (COM8 belongs to the flash
tool's tests): above COM9 a port is reached only by its "\\\\.\\COM10" name, which the gateway
makes. Prints the round trip of a read through the gateway.

    windows_gateway.py FABRICOR_CLI_EXE WINE
"""
import asyncio
import atexit
import logging
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from pymodbus.client import ModbusTcpClient
from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusRtuFramer

cli, wine = sys.argv[1], sys.argv[2]
logging.disable(logging.CRITICAL)  # the slave's complaint when it is stopped at the end
prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


work = tempfile.mkdtemp(prefix="fabricor-wine-gateway-")
project = os.path.join(work, "Pumpstation")
os.mkdir(project)
# 9600 baud, no parity, one stop bit, a time-out of 300 ms; NAT mode.
with open(os.path.join(project, "pargen.xml"), "w") as f:
    f.write("<General_Parameter><TCP_IP1>10</TCP_IP1><TCP_IP2>0</TCP_IP2><TCP_IP3>0</TCP_IP3>"
            "<TCP_IP4>7</TCP_IP4><TCP_SUB1>255</TCP_SUB1><TCP_SUB2>255</TCP_SUB2>"
            "<TCP_SUB3>255</TCP_SUB3><TCP_SUB4>0</TCP_SUB4><TCP_EN_GATE>0</TCP_EN_GATE>"
            "<TCP_GAT1>0</TCP_GAT1><TCP_GAT2>0</TCP_GAT2><TCP_GAT3>0</TCP_GAT3>"
            "<TCP_GAT4>0</TCP_GAT4><TCP_PORT>502</TCP_PORT><SNMP_PUBLIC>public</SNMP_PUBLIC>"
            "<SNMP_PRIVATE>private</SNMP_PRIVATE><BAUD>3</BAUD><PARITY>0</PARITY>"
            "<TIME_OUT>300</TIME_OUT><OFFSET>0</OFFSET><MODE>1</MODE><STOP_BIT>0</STOP_BIT>"
            "</General_Parameter>")
# Holding registers 1..4 are the slave's 3..6, input registers 1..8 its 10..17; holding
# registers 100..101 are on device 5, which is not on the line.
with open(os.path.join(project, "var.xml"), "w") as f:
    f.write('<TCP_TO_RTU>'
            '<row DATA_TYPE="3" TCP_ADDRESS="1" RTU_ADD_DEV="2" RTU_ADDRESS="3" N_POINT="4" '
            'MNEMONIC="pump"/>'
            '<row DATA_TYPE="4" TCP_ADDRESS="1" RTU_ADD_DEV="2" RTU_ADDRESS="10" N_POINT="8" '
            'MNEMONIC="level"/>'
            '<row DATA_TYPE="3" TCP_ADDRESS="100" RTU_ADD_DEV="5" RTU_ADDRESS="0" N_POINT="2" '
            'MNEMONIC="absent"/></TCP_TO_RTU>')

peer, com = os.path.join(work, "peer"), os.path.join(work, "com10")
socat = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + peer, "pty,raw,echo=0,link=" + com],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
atexit.register(socat.kill)  # also when the test itself fails on the way
for _ in range(100):
    if os.path.exists(peer) and os.path.exists(com):
        break
    time.sleep(0.1)
link = os.path.join(prefix, "dosdevices", "com10")
if os.path.lexists(link):
    os.remove(link)
os.symlink(os.path.realpath(com), link)

# The slave: holding register i holds 1000 + i, input register i 2000 + i.
holding = [1000 + i for i in range(100)]
store = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, holding),
                           ir=ModbusSequentialDataBlock(0, [2000 + i for i in range(100)]),
                           zero_mode=True)


def serve():
    asyncio.run(StartAsyncSerialServer(
        context=ModbusServerContext(slaves={2: store}, single=False), framer=ModbusRtuFramer,
        port=peer, baudrate=9600, parity="N", stopbits=1, bytesize=8, timeout=0.005,
        ignore_missing_slaves=True))


threading.Thread(target=serve, daemon=True).start()

out_path, err_path = os.path.join(work, "stdout.txt"), os.path.join(work, "stderr.txt")
with open(out_path, "w") as out, open(err_path, "w") as err:
    gateway = subprocess.Popen([wine, cli, "gateway", windows_path(project), "--serial", "COM10",
                                "--listen", "127.0.0.1:0", "--verbose"], stdout=out, stderr=err)
atexit.register(gateway.kill)
port = None
for _ in range(600):
    with open(out_path) as f:
        found = re.search(r"listening on 127\.0\.0\.1:(\d+)", f.read())
    if found or gateway.poll() is not None:
        break
    time.sleep(0.1)
check(found is not None, "the gateway listens with COM10 as its line")
if found:
    client = ModbusTcpClient("127.0.0.1", port=int(found.group(1)), timeout=5)
    client.connect()
    answer = client.read_holding_registers(1, 4, slave=1)
    check(getattr(answer, "registers", None) == holding[3:7],
          "holding registers 1..4 are the slave's 3..6: %s" % answer)
    answer = client.read_input_registers(3, 5, slave=1)
    check(getattr(answer, "registers", None) == [2000 + i for i in range(12, 17)],
          "input registers 3..7 are the slave's 12..16: %s" % answer)
    client.write_registers(2, [7, 8, 9], slave=1)
    check(store.getValues(3, 4, 3) == [7, 8, 9], "a write reaches the slave's registers 4..6")
    answer = client.read_holding_registers(1, 4, slave=1)
    check(getattr(answer, "registers", None) == [1003, 7, 8, 9],
          "the written registers read back: %s" % answer)
    answer = client.read_holding_registers(3, 4, slave=1)
    check(getattr(answer, "exception_code", None) == 2,
          "a range the table does not hold: exception 2: %s" % answer)
    answer = client.read_holding_registers(100, 2, slave=1)
    check(getattr(answer, "exception_code", None) == 0x0B,
          "a device that never answers: exception 0x0B after the time-out: %s" % answer)

    times = []
    for _ in range(50):
        started = time.perf_counter()
        answer = client.read_holding_registers(1, 4, slave=1)
        times.append((time.perf_counter() - started) * 1000)
        if getattr(answer, "registers", None) != [1003, 7, 8, 9]:
            break
    check(len(times) == 50 and getattr(answer, "registers", None) == [1003, 7, 8, 9],
          "50 reads in a row")
    print("round trip of a read of 4 registers at 9600 baud through the gateway under Wine: "
          "median %.1f ms, worst %.1f ms (%d reads)" % (statistics.median(times), max(times),
                                                        len(times)))
    client.close()

    gateway.send_signal(signal.SIGINT)  # Wine passes it on as Ctrl-C
    try:
        status = gateway.wait(timeout=20)
    except subprocess.TimeoutExpired:
        gateway.kill()
        status = None
    with open(out_path) as f:
        said = f.read()
    check(status == 0 and "Stopped." in said and "requests: 56" in said
          and "time-outs: 1" in said, "Ctrl-C stops it with its counters (status %s)" % status)
    for line in said.splitlines():
        if "latency" in line:
            print("gateway's own figure: " + line.strip())
if gateway.poll() is None:
    gateway.kill()
    gateway.wait()

# A COM port that is not there: status 1 and the port named.
result = subprocess.run([wine, cli, "gateway", windows_path(project), "--serial", "COM11",
                         "--listen", "127.0.0.1:0"], capture_output=True, text=True)
check(result.returncode == 1 and "cannot open COM11" in result.stderr,
      "a missing COM port: status 1 and the port named (%d)" % result.returncode)

os.remove(link)
socat.terminate()
socat.wait()
if failures:
    for name in (out_path, err_path):
        with open(name) as f:
            sys.stdout.write(f.read())
shutil.rmtree(work)
sys.exit(1 if failures else 0)
