"""Instruments: downloads against tarn-sim, failures as exceptions with the
instrument layer's text, and the address forms."""

import _thread
import socket
import threading
import time

import pytest

from conftest import np, onexrev


def blocks(message_bytes):
    """The payloads of the IEEE 488.2 definite-length blocks in `message_bytes`."""
    out, at = [], 0
    while (at := message_bytes.find(b",#", at)) >= 0:
        digits = int(message_bytes[at + 2:at + 3])
        length = int(message_bytes[at + 3:at + 3 + digits])
        start = at + 3 + digits
        out.append(message_bytes[start:start + length])
        at = start + length
    return out


def test_download_stores_exactly_the_block_bytes(sim, no_corrections):
    frame = onexrev.calculate(onexrev.Parameters(DRCactive=1, ACKactive=1, OverSampling=3))
    with onexrev.Instrument(sim.address) as inst:
        result = inst.download(frame)
        assert [s[:2] for s in result["steps"]] == [("TARNDownLoadWrap", 0), ("TARNPlay", 0)]
        assert inst.query(':SOURce:RADio:ARB:WAVeform?').strip('"').endswith("OneX-Rev")
    block = onexrev.scpi_download_block(frame, "OneX-Rev")
    assert block.startswith(b':MMEMory:DATA "WFM1:OneX-Rev",#')
    iq, markers = blocks(block)
    assert len(iq) == 4 * len(frame) and len(markers) == len(frame)
    assert sim.stored("OneX-Rev", "iq") == iq
    assert sim.stored("OneX-Rev", "markers") == markers
    # The same bytes over a connection of the caller's own store the same.
    copy = onexrev.scpi_download_block(frame, "COPY")
    with socket.create_connection(("127.0.0.1", sim.port), timeout=10) as s:
        s.sendall(copy + b"*OPC?\n")
        assert s.makefile().readline().strip() == "1"
    assert sim.stored("COPY", "iq") == iq and sim.stored("COPY", "markers") == markers
    # Marker byte: bit 0 marker 1, bit 1 marker 2.
    expected = frame.markers[0] | (frame.markers[1] << 1)
    assert np.array_equal(np.frombuffer(markers, np.uint8), expected)


def test_failures_raise_with_the_connection_or_instrument_text(start_sim, closed_port,
                                                                no_corrections):
    frame = onexrev.calculate(onexrev.Parameters(OverSampling=2))
    with onexrev.Instrument(f"127.0.0.1:{closed_port}") as inst:
        with pytest.raises(onexrev.InstrumentError) as failed:
            inst.download(frame)
        assert f"127.0.0.1:{closed_port}" in str(failed.value)
        assert "Connection refused" in str(failed.value)
        # The number scripts compare with stays what it was.
        assert failed.value.status == onexrev.InstrumentError.NOT_CONNECTED == 2
    refusing = start_sim("--reject-downloads")
    with onexrev.Instrument(refusing.address) as inst:
        with pytest.raises(onexrev.InstrumentError, match='-250,"Mass storage error') as failed:
            inst.download(frame)
        assert failed.value.status == onexrev.InstrumentError.REFUSED
    with pytest.raises(ValueError, match="no instrument address set"):
        onexrev.Instrument("0.0.0.0")
    with pytest.raises(ValueError, match="closed"):
        inst.identify()
    with pytest.raises(ValueError, match="quote"):
        onexrev.scpi_download_block(frame, 'bad"name')


def test_ctrl_c_cancels_a_waiting_operation_and_closes_the_connection(start_sim, tmp_path):
    log = tmp_path / "sim.log"
    silent = start_sim("--no-reply", "--log", str(log))
    inst = onexrev.Instrument(silent.address, timeout=60000)
    threading.Timer(0.3, _thread.interrupt_main).start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        inst.identify()
    # The 60 s wait ended at the interrupt, not at its time-out, and the
    # connection was closed then (not when the object goes away).
    assert time.monotonic() - started < 5
    deadline = time.monotonic() + 5
    while "CLOSE" not in log.read_text() and time.monotonic() < deadline:
        time.sleep(0.05)
    assert "CLOSE" in log.read_text()
    inst.close()


def test_identify_write_and_play(sim):
    with onexrev.Instrument(f"TCPIP0::127.0.0.1::{sim.port}::SOCKET", timeout=3000) as inst:
        assert inst.identify().startswith("Tarn Instruments,TARN-SIM,")
        inst.write(":SOURce:FREQuency 1.5e9")
        assert float(inst.query(":SOURce:FREQuency?")) == 1.5e9
        # Playing needs the waveform stored under the settings' title.
        inst.download(onexrev.calculate(onexrev.Parameters()))
        settings = onexrev.SigGenSettings(Frequency=1.9e9, Amplitude=-12)
        inst.play(settings)
        assert float(inst.query(":SOURce:FREQuency?")) == 1.9e9
        assert float(inst.query(":SOURce:POWer?")) == -12


def test_address_forms_reach_the_shared_parser():
    for address in ["GPIB0::19::INSTR", "ASRL/dev/ttyUSB0::INSTR", "TCPIP0::siggen::INSTR"]:
        assert onexrev.Instrument(address).address == address
    with pytest.raises(ValueError, match="primary address 0 to 30"):
        onexrev.Instrument("GPIB0::31::INSTR")


def test_serial_options_belong_to_serial_addresses():
    onexrev.Instrument("ASRL/dev/ttyUSB0::INSTR", baudrate=9600, handshake="RTS/CTS")
    with pytest.raises(ValueError, match="handshake"):
        onexrev.Instrument("ASRL1::INSTR", handshake="both")
    with pytest.raises(ValueError, match="serial"):
        onexrev.Instrument("siggen", baudrate=9600)


def test_the_timeout_bounds_every_wait_of_a_download(start_sim, no_corrections):
    silent = start_sim("--no-reply")
    frame = onexrev.calculate(onexrev.Parameters(OverSampling=2))
    with onexrev.Instrument(silent.address, timeout=1000) as inst:
        started = time.monotonic()
        with pytest.raises(onexrev.InstrumentError, match="1000 ms"):
            inst.download(frame)
        # The identity, the player's state and *OPC? each wait 1 s, not 10.
        assert time.monotonic() - started < 8


def test_instruments_keep_connections_of_their_own(start_sim, tmp_path, no_corrections):
    logs = [tmp_path / "a.log", tmp_path / "b.log"]
    sims = [start_sim("--log", str(log)) for log in logs]
    a, b = (onexrev.Instrument(s.address) for s in sims)
    for _ in range(3):  # in turn
        a.write(":SOURce:FREQuency 1e9")
        b.write(":SOURce:FREQuency 2e9")
        assert float(a.query(":SOURce:FREQuency?")) == 1e9
        assert float(b.query(":SOURce:FREQuency?")) == 2e9
    frame = onexrev.calculate(onexrev.Parameters(OverSampling=2))
    errors = []

    def use(inst, hz):  # both at once
        try:
            for _ in range(3):
                inst.download(frame)
                inst.write(f":SOURce:FREQuency {hz}")
                assert float(inst.query(":SOURce:FREQuency?")) == hz
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=use, args=(a, 1.1e9)),
               threading.Thread(target=use, args=(b, 2.2e9))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    a.close()
    assert b.identify().startswith("Tarn Instruments")
    b.close()
    # One connection each, from first use to its own close().
    for log in logs:
        deadline = time.monotonic() + 5
        while "CLOSE tcp#1" not in log.read_text() and time.monotonic() < deadline:
            time.sleep(0.05)
        text = log.read_text()
        assert text.count("OPEN tcp") == 1 and text.count("CLOSE tcp") == 1, text


def test_an_operation_waits_for_its_own_instrument_only(start_sim):
    silent, answering = start_sim("--no-reply"), start_sim()
    slow = onexrev.Instrument(silent.address, timeout=3000)
    fast = onexrev.Instrument(answering.address)
    waiting = threading.Thread(target=lambda: pytest.raises(onexrev.InstrumentError, slow.identify))
    waiting.start()
    time.sleep(0.3)
    started = time.monotonic()
    assert fast.identify().startswith("Tarn Instruments")
    assert time.monotonic() - started < 1.5  # not held until the other's 3 s time-out
    waiting.join()
    slow.close()
    fast.close()
