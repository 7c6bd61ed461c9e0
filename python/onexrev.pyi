"""One frame of a 1xEV-DO reverse-link baseband waveform: parameters,
calculation, waveform files and download to a TARN-family signal generator."""

import os
from typing import Any, Sequence, TypedDict, Union

import numpy as np
import numpy.typing as npt

__version__: str
"""The product's version, e.g. "1.6.0", with the commit of a build from a git
checkout: "1.6.0+g1a2b3c4"."""

_Path = Union[str, bytes, os.PathLike]
_Row = Union[Sequence[float], npt.ArrayLike, str]

class Error(RuntimeError):
    """A failure of the library, with the library's own text."""

class InstrumentError(Error):
    """An instrument operation failed; `status` is the instrument layer's
    status number, one of the class's named numbers."""

    status: int | None
    NOT_CONNECTED: int
    TIMED_OUT: int
    CONNECTION_FAILED: int
    REFUSED: int
    CANCELLED: int
    def __init__(self, message: str, status: int | None = ...) -> None: ...

class SigGenSettings:
    """How the signal generator plays the waveform. Each field is checked on
    assignment (ValueError naming the field and its range)."""

    Title: str
    Frequency: float
    Amplitude: int
    SamplingRate: float
    ReconFilter: int
    RFblanking: int
    ArbRefSource: int
    MarkerPolarity: int
    BBfilter: int | None
    Scaling: float | None
    ModAtten: float | None
    ALC: int | None
    def __init__(self, oversampling: float = 5, **fields: Any) -> None: ...
    def copy(self) -> SigGenSettings: ...
    def __eq__(self, other: object) -> bool: ...

class SlotParameters:
    """The per-slot rows of a parameter set (a live view). Rows read as
    read-only numpy arrays; assign whole rows."""

    @property
    def ACKslotActive(self) -> npt.NDArray[np.float64]: ...
    @ACKslotActive.setter
    def ACKslotActive(self, value: _Row) -> None: ...
    @property
    def ACKslotValue(self) -> npt.NDArray[np.float64]: ...
    @ACKslotValue.setter
    def ACKslotValue(self, value: _Row) -> None: ...
    @property
    def DRCslotActive(self) -> npt.NDArray[np.float64]: ...
    @DRCslotActive.setter
    def DRCslotActive(self, value: _Row) -> None: ...
    @property
    def DRCslotValue(self) -> npt.NDArray[np.float64]: ...
    @DRCslotValue.setter
    def DRCslotValue(self, value: _Row) -> None: ...
    @property
    def DRCslotCover(self) -> npt.NDArray[np.float64]: ...
    @DRCslotCover.setter
    def DRCslotCover(self, value: _Row) -> None: ...

class Parameters:
    """A parameter set with its signal-generator settings. Fields are checked
    on assignment against the windows' ranges (ValueError naming the field
    and its range); text is parsed as the command line's --set does."""

    @property
    def ParameterFileFormat_ID(self) -> str: ...
    RRIactive: int
    RRIvalue: int
    DRCactive: int
    DRCrelGain: float
    ACKactive: int
    ACKrelGain: float
    DATAactive: int
    DATArelGain: float
    EncoderActive: int
    DataRate: int
    DATASourceType: int
    DATASourceName: str
    @property
    def dataSourceBitstream(self) -> npt.NDArray[np.float64]: ...
    @dataSourceBitstream.setter
    def dataSourceBitstream(self, value: _Row) -> None: ...
    IMask: int
    QMask: int
    OverSampling: int
    FilterType: int
    MirrorSpectrum: int
    ProjectedLength: float
    LastPath: str
    IQGainImbalance: float
    QuadratureError: float
    CarrierLeakage: float
    FreqError: float
    FreqErrorSnap: int
    CNRatio: float
    NoiseSeed: int
    slot: SlotParameters
    siggen: SigGenSettings
    def __init__(self, **fields: Any) -> None: ...
    @staticmethod
    def load(path: _Path) -> Parameters: ...
    def save(self, path: _Path) -> str: ...
    def copy(self) -> Parameters: ...
    def __eq__(self, other: object) -> bool: ...

class Frame:
    """One computed frame; `wave` and `markers` are read-only views."""

    @property
    def wave(self) -> npt.NDArray[np.complex128]: ...
    @property
    def markers(self) -> npt.NDArray[np.uint8]: ...
    @property
    def sample_rate(self) -> float: ...
    @property
    def parameters(self) -> Parameters: ...
    @property
    def settings(self) -> SigGenSettings: ...
    def save(self, path: _Path, scale: float | None = ...) -> str: ...
    def __len__(self) -> int: ...

def calculate(params: Parameters) -> Frame:
    """Computes one frame from the parameter set, impairments included."""

class Instrument:
    """A TARN-family signal generator over LAN, RS-232 or GPIB, on a
    connection of its own (objects for different instruments work side by
    side, also from different threads). `timeout` (milliseconds) bounds
    every wait of every operation, downloads included. Ctrl+C cancels a
    running operation (the connection is closed, KeyboardInterrupt is
    raised)."""

    def __init__(
        self,
        address: str,
        *,
        baudrate: int | None = ...,
        handshake: str | None = ...,
        timeout: float | None = ...,
    ) -> None: ...
    @property
    def address(self) -> str: ...
    def identify(self) -> str: ...
    def query(self, text: str) -> str: ...
    def write(self, text: str) -> None: ...
    def download(
        self,
        frame: Frame,
        settings: SigGenSettings | None = ...,
        *,
        platform: str = ...,
        corrections: _Path | None = ...,
        confirm: bool = ...,
    ) -> dict[str, Any]: ...
    def play(self, settings: SigGenSettings, *, platform: str = ...) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> Instrument: ...
    def __exit__(self, *args: object) -> bool: ...

def scpi_download_block(frame: Frame, name: str) -> bytes:
    """The exact bytes a download sends to store the frame under `name`."""

class CcdfModel(TypedDict):
    x_db: npt.NDArray[np.float64]
    percent: npt.NDArray[np.float64]
    reference_percent: npt.NDArray[np.float64]
    max_x_db: float
    y_min_percent: float
    real: bool
    test_data: bool

def ccdf(wave: npt.ArrayLike) -> CcdfModel:
    """The CCDF display's numbers: the share of samples (percent) whose power
    lies x_db or more above the average, with the Gaussian reference."""

class SpectrumModel(TypedDict):
    frequency: npt.NDArray[np.float64]
    level_db: npt.NDArray[np.float64]
    units: str
    divider: float
    level_limits_db: tuple[float, float]
    frequency_limits: tuple[float, float]
    test_data: bool

def spectrum(wave: npt.ArrayLike, sample_rate: float) -> SpectrumModel:
    """The spectrum display's numbers: every bin at its true frequency (in
    `units`), level in dB relative to the strongest bin."""

def measure(
    frame: Frame,
    offsets: Sequence[float] | None = ...,
    offset_bw: float | None = ...,
    channel_bw: float | None = ...,
) -> dict[str, Any]:
    """Every measurement figure of the frame, named as `onexrev-cli measure
    --json` names them (None where not available; `not_available` gives the
    path of each None, e.g. "acpr_dbc.3000000", and the reason)."""
