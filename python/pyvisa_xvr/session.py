"""One open resource: a quvxvr device and the VISA attributes kept for it."""
from typing import Any, Dict, Optional, Tuple

import quvxvr
from pyvisa import constants
from pyvisa.constants import ResourceAttribute as A
from pyvisa.constants import StatusCode

from .resource_names import Target

READ_AT_TERMCHAR = quvxvr.READ_STOP_AT_DELIMITER | quvxvr.READ_KEEP_DELIMITER
# A GPIB read without a termination character ends at the message end: the
# library's empty delimiter with flag 1.
READ_AT_END = quvxvr.READ_STOP_AT_DELIMITER
_END = ""
_READ_STATUS = {
    quvxvr.XVR_READ_DELIMITER: StatusCode.success_termination_character_read,
    quvxvr.XVR_READ_BUFFER_FULL: StatusCode.success_max_count_read,
    quvxvr.XVR_OK: StatusCode.success,
}
_READ_STATUS_AT_END = dict(_READ_STATUS)
_READ_STATUS_AT_END[quvxvr.XVR_READ_DELIMITER] = StatusCode.success
# A network read that ends at the termination character leaves zeros in the
# rest of the buffer it was given: a chunk of a megabyte would be cleared at
# every line.  Reads start with the room of PyVISA's default chunk and grow
# while they fill it.
_FIRST_WINDOW = 20 * 1024
_WINDOW_GROWTH = 4
# VISA's immediate time-out (0) would read as the library's default of
# 1000 ms; the shortest the library takes is 1 ms.
_SHORTEST_TIMEOUT = 1
_INT32 = 1 << 32

_SERIAL_PARAMS = {
    A.asrl_baud_rate: "BAUDRATE",
    A.asrl_data_bits: "DATABITS",
    A.asrl_parity: "PARITY",
    A.asrl_stop_bits: "STOPBITS",
    A.asrl_flow_control: "HANDSHAKE",
}
_WORDS = {
    A.asrl_parity: {constants.Parity.none: "NONE", constants.Parity.odd: "ODD",
                    constants.Parity.even: "EVEN", constants.Parity.mark: "MARK",
                    constants.Parity.space: "SPACE"},
    A.asrl_stop_bits: {constants.StopBits.one: "1", constants.StopBits.two: "2"},
    A.asrl_flow_control: {constants.ControlFlow.none: "NONE", constants.ControlFlow.xon_xoff: "XON/XOFF",
                          constants.ControlFlow.rts_cts: "RTS/CTS"},
}


# Statuses of the LAN instruments, the same in every operation.
_LAN_STATUS = {
    quvxvr.XVR_ERR_LOCKED: StatusCode.error_resource_locked,
    quvxvr.XVR_ERR_CONNECTION_LOST: StatusCode.error_connection_lost,
    quvxvr.XVR_ERR_REFUSED: StatusCode.error_system_error,
}


def visa_status(error: quvxvr.Error, opening: bool = False,
                overrides: Optional[Dict[int, StatusCode]] = None) -> StatusCode:
    """The VISA status for a failure of the library; overrides maps
    statuses that mean something else in one operation."""
    if overrides and error.status in overrides:
        return overrides[error.status]
    if isinstance(error, quvxvr.Timeout):
        return StatusCode.error_timeout
    status = error.status
    if opening:
        if status == quvxvr.XVR_ERR_BAD_ADDRESS:
            return StatusCode.error_invalid_resource_name
        return StatusCode.error_resource_not_found
    if status in _LAN_STATUS:
        return _LAN_STATUS[status]
    if status == quvxvr.XVR_ERR_BAD_HANDLE:
        return StatusCode.error_invalid_object
    if status == quvxvr.XVR_ERR_UNKNOWN_PARAM:
        return StatusCode.error_nonsupported_attribute
    if status in (quvxvr.XVR_ERR_BAD_VALUE, quvxvr.XVR_ERR_COM_SET_SETTINGS):
        return StatusCode.error_nonsupported_attribute_state
    return StatusCode.error_io


class Session:
    """The device behind a VISA session and the attributes VISA keeps per
    session (time-out, termination character), which the library keeps per
    device: they are handed to the device before each read that needs them."""

    def __init__(self, target: Target, device: quvxvr.Device) -> None:
        self.target = target
        self.device = device
        self._handle = device.handle
        # What reads need of the device, from the attributes: worked out
        # again only after an attribute changed (None).
        self._wanted: Optional[Tuple[int, Optional[str]]] = None
        self.attributes: Dict[A, Any] = {
            A.timeout_value: 2000,
            A.termchar: 0x0A,
            A.termchar_enabled: constants.VI_FALSE,
            A.send_end_enabled: constants.VI_TRUE,
            A.suppress_end_enabled: constants.VI_FALSE,
            A.asrl_end_in: constants.SerialTermination.termination_char,
        }
        # Service requests: enabled for the queue mechanism, and the status
        # byte of the last one waited for, which the next read_stb reports
        # (as a serial poll after a GPIB service request would).
        self.srq_enabled = False
        self.srq_stb: Optional[int] = None

    # --- reading ---------------------------------------------------------------
    def _settings(self) -> Tuple[int, Optional[str]]:
        """The time-out and the DELIMITER value reads need (None: any)."""
        attributes = self.attributes
        if attributes[A.termchar_enabled]:
            delimiter: Optional[str] = "\\%02X" % attributes[A.termchar]
        else:
            delimiter = _END if self.target.driver == "KX GPIB" else None
        return attributes[A.timeout_value], delimiter

    def prepare(self, applied: Dict[int, Tuple[int, Optional[str]]]) -> None:
        """Hand this session's time-out and delimiter to the device unless it
        has them already (opens of one address share them)."""
        wanted = self._wanted
        if wanted is None:
            wanted = self._wanted = self._settings()
        current = applied.get(self._handle)
        if current is not None and current[0] == wanted[0] and wanted[1] in (None, current[1]):
            return
        timeout, delimiter = wanted
        if current is None or timeout != current[0]:
            value = timeout if timeout != constants.VI_TMO_IMMEDIATE else _SHORTEST_TIMEOUT
            # TIMEOUT takes the 32-bit pattern as a signed number: infinite is -1.
            self.device.params["TIMEOUT"] = value - _INT32 if value >= 1 << 31 else value
        known = None if current is None else current[1]
        if delimiter is not None and delimiter != known:
            self.device.params["DELIMITER"] = delimiter
        applied[self._handle] = (timeout, delimiter if delimiter is not None else known)

    def read(self, count: int) -> Tuple[bytes, StatusCode]:
        delimiter = (self._wanted or self._settings())[1]
        if delimiter is None:
            if self.target.driver == "TCP/IP":
                data, status = self._read_available(count)
            else:
                data, status = self.device.transfer_read(count, 0)
                if self.target.lan_device is not None and status == quvxvr.XVR_READ_DELIMITER:
                    status = quvxvr.XVR_OK  # the message's END, not a termination character
        elif delimiter == _END:
            data, status = self.device.transfer_read(count, READ_AT_END)
            return data, _READ_STATUS_AT_END.get(status, StatusCode.success)
        elif count > _FIRST_WINDOW and self.target.driver == "TCP/IP":
            # The first window is an ordinary read; most answers end in it.
            data, status = self.device.transfer_read(_FIRST_WINDOW, READ_AT_TERMCHAR)
            if status == quvxvr.XVR_READ_BUFFER_FULL:
                data, status = self._read_more_windows(data, count, READ_AT_TERMCHAR)
        else:
            data, status = self.device.transfer_read(count, READ_AT_TERMCHAR)
        return data, _READ_STATUS.get(status, StatusCode.success)

    def _read_more_windows(self, data: bytes, count: int, flags: int) -> Tuple[bytes, int]:
        """The rest of a read of up to count bytes whose first window came
        back full, in library reads that grow while they fill their room: a
        short answer costs no more than in a small chunk."""
        window = _FIRST_WINDOW
        status = quvxvr.XVR_READ_BUFFER_FULL
        parts = [data]
        got = len(data)
        while status == quvxvr.XVR_READ_BUFFER_FULL and got < count:
            window = min(window * _WINDOW_GROWTH, count - got)
            data, status = self.device.transfer_read(window, flags)
            parts.append(data)
            got += len(data)
        return b"".join(parts), status

    def _read_available(self, count: int) -> Tuple[bytes, int]:
        """Without a termination character a socket read ends when no more
        data is waiting: wait for the first byte, then take what is there."""
        data = b""
        if count and int(self.device.params["BUFFER"]) == 0:
            data, _ = self.device.transfer_read(1, 0)
        waiting = min(int(self.device.params["BUFFER"]), count - len(data))
        if waiting > 0:
            more, _ = self.device.transfer_read(waiting, 0)
            data += more
        return data, quvxvr.XVR_READ_BUFFER_FULL if len(data) == count else quvxvr.XVR_OK

    # --- attributes ------------------------------------------------------------
    def get_attribute(self, attribute: A) -> Tuple[Any, StatusCode]:
        target = self.target
        fixed = {
            A.resource_name: target.resource_name,
            A.resource_class: target.resource_class,
            A.interface_type: target.interface_type,
            A.interface_number: int(target.board) if target.board.isdigit() else 0,
        }
        if target.driver == "TCP/IP":
            fixed[A.tcpip_address] = target.address.rsplit(":", 1)[0]
            fixed[A.tcpip_port] = target.port
        if target.lan_device is not None:
            fixed[A.tcpip_address] = target.address[:-len(target.lan_device) - 1]
            fixed[A.tcpip_device_name] = target.lan_device
        if target.driver == "KX GPIB":
            fixed[A.gpib_primary_address] = target.primary
            fixed[A.gpib_secondary_address] = (constants.VI_NO_SEC_ADDR if target.secondary is None
                                               else target.secondary)
        if attribute in fixed:
            return fixed[attribute], StatusCode.success
        if attribute in self.attributes:
            return self.attributes[attribute], StatusCode.success
        if target.driver == "COM" and attribute in _SERIAL_PARAMS:
            text = self.device.params[_SERIAL_PARAMS[attribute]]
            words = _WORDS.get(attribute)
            if words is None:
                return int(text), StatusCode.success
            by_word = {word: value for value, word in words.items()}
            return by_word[text.strip().upper()], StatusCode.success
        return None, StatusCode.error_nonsupported_attribute

    def set_attribute(self, attribute: A, value: Any) -> StatusCode:
        self._wanted = None
        if attribute == A.timeout_value:
            if not 0 <= int(value) <= constants.VI_TMO_INFINITE:
                return StatusCode.error_nonsupported_attribute_state
            self.attributes[attribute] = int(value)
        elif attribute == A.termchar:
            if not 0 <= int(value) <= 0xFF:
                return StatusCode.error_nonsupported_attribute_state
            self.attributes[attribute] = int(value)
        elif attribute in self.attributes:
            self.attributes[attribute] = value
        elif self.target.driver == "COM" and attribute in _SERIAL_PARAMS:
            words = _WORDS.get(attribute)
            if words is None:
                text = str(int(value))
            elif value in words:
                text = words[value]
            else:
                return StatusCode.error_nonsupported_attribute_state
            self.device.params[_SERIAL_PARAMS[attribute]] = text
        else:
            return StatusCode.error_nonsupported_attribute
        return StatusCode.success
