"""The PyVISA backend: ``pyvisa.ResourceManager("@xvr")``."""
import random
from typing import Any, Dict, Iterable, List, Optional, Tuple

import quvxvr
from pyvisa import constants, highlevel, rname
from pyvisa.constants import StatusCode
from pyvisa.util import LibraryPath

from .control import ControlMixin, EventContext
from .resource_names import Unsupported, target
from .session import Session, visa_status


def list_serial_resources() -> List[str]:
    """The machine's serial ports and the port names of [COM] in the
    parameter file, as resource names."""
    names = ["ASRL%s::INSTR" % path for path in quvxvr.serial_ports()]
    names += ["ASRL%s::INSTR" % key for key in quvxvr.com_mappings()]
    return names


class XvrVisaLibrary(ControlMixin, highlevel.VisaLibraryBase):
    """PyVISA over the QUVXVR library: TCPIP SOCKET, TCPIP INSTR (VXI-11,
    HiSLIP), ASRL INSTR and GPIB INSTR resources."""

    sessions: Dict[int, Any]
    # Time-out and termination character last handed to each library
    # handle: opens of one address share the handle and its settings.
    applied: Dict[int, Tuple[int, Optional[str]]]

    @staticmethod
    def get_library_paths() -> Iterable[LibraryPath]:
        return (LibraryPath("xvr"),)

    @staticmethod
    def get_debug_info() -> Dict[str, str]:
        try:
            where = quvxvr.library().path
        except quvxvr.LibraryNotFound as e:
            where = str(e)
        return {"Version": quvxvr.__version__, "Library": where}

    def _init(self) -> None:
        # Fails here, with the places tried, when the library cannot load.
        quvxvr.library()
        self.sessions = {}
        self.applied = {}

    def _register(self, obj: Any) -> int:
        session = None
        while session is None or session in self.sessions:
            session = random.randint(1000000, 9999999)
        self.sessions[session] = obj
        return session

    def _session(self, session: Any) -> Session:
        sess = self.sessions.get(session)
        if not isinstance(sess, Session):
            self.handle_return_value(session, StatusCode.error_invalid_object)
        return sess

    def _fail(self, session: Any, error: quvxvr.Error) -> StatusCode:
        """Raise pyvisa's VisaIOError for a failure; raised inside the except
        block of the caller, it keeps the library's text as its context."""
        return self.handle_return_value(session, visa_status(error))

    # --- resource manager ----------------------------------------------------------
    def open_default_resource_manager(self) -> Tuple[int, StatusCode]:
        return self._register(self), self.handle_return_value(None, StatusCode.success)

    def list_resources(self, session: Any, query: str = "?*::INSTR") -> Tuple[str, ...]:
        return rname.filter(list_serial_resources(), query)

    def open(self, session: Any, resource_name: str,
             access_mode: constants.AccessModes = constants.AccessModes.no_lock,
             open_timeout: int = constants.VI_TMO_IMMEDIATE) -> Tuple[int, StatusCode]:
        try:
            where = target(resource_name)
        except rname.InvalidResourceName:
            return 0, self.handle_return_value(None, StatusCode.error_invalid_resource_name)
        except Unsupported:
            return 0, self.handle_return_value(None, StatusCode.error_resource_not_found)
        # The open time-out bounds the connect; VISA's 0 would connect blocking.
        connect_ms = open_timeout if 0 < open_timeout < 1 << 31 else 5000
        try:
            device = quvxvr.open(where.driver, where.address, connect_timeout_ms=connect_ms)
        except quvxvr.Error as e:
            return 0, self.handle_return_value(None, visa_status(e, opening=True))
        session = self._register(Session(where, device))
        if access_mode in (constants.AccessModes.exclusive_lock, constants.AccessModes.shared_lock):
            try:
                device.lock(None if access_mode == constants.AccessModes.exclusive_lock
                            else "xvr-%d" % session, timeout_ms=connect_ms)
            except quvxvr.Error as e:
                del self.sessions[session]
                device.close()
                return 0, self.handle_return_value(None, visa_status(
                    e, overrides={quvxvr.XVR_ERR_UNKNOWN_PARAM: StatusCode.error_nonsupported_operation}))
        return session, StatusCode.success

    def close(self, session: Any) -> StatusCode:
        sess = self.sessions.get(session)
        if sess is self or isinstance(sess, EventContext):
            del self.sessions[session]
            return self.handle_return_value(session, StatusCode.success)
        sess = self._session(session)
        del self.sessions[session]
        handle = sess.device.handle
        try:
            if sess.device.close() == quvxvr.XVR_CLOSE_RELEASED:
                self.applied.pop(handle, None)
        except quvxvr.Error as e:
            return self._fail(session, e)
        return self.handle_return_value(session, StatusCode.success)

    # --- transfers -----------------------------------------------------------
    def read(self, session: Any, count: int) -> Tuple[bytes, StatusCode]:
        sess = self._session(session)
        try:
            sess.prepare(self.applied)
            data, status = sess.read(count)
        except quvxvr.Error as e:
            return b"", self._fail(session, e)
        return data, self.handle_return_value(session, status)

    def write(self, session: Any, data: bytes) -> Tuple[int, StatusCode]:
        sess = self._session(session)
        try:
            # PyVISA has appended write_termination already.
            count = sess.device.transfer_write(data, 0)
        except quvxvr.Error as e:
            return 0, self._fail(session, e)
        return count, self.handle_return_value(session, StatusCode.success)

    def buffer_read(self, session: Any, count: int) -> Tuple[bytes, StatusCode]:
        return self.read(session, count)

    def buffer_write(self, session: Any, data: bytes) -> Tuple[int, StatusCode]:
        return self.write(session, data)

    # --- attributes ------------------------------------------------------------
    def get_attribute(self, session: Any, attribute: Any) -> Tuple[Any, StatusCode]:
        event = self.sessions.get(session)
        if isinstance(event, EventContext):
            return self.event_attribute(event, attribute)
        sess = self._session(session)
        try:
            value, status = sess.get_attribute(attribute)
        except quvxvr.Error as e:
            return None, self._fail(session, e)
        return value, self.handle_return_value(session, status)

    def set_attribute(self, session: Any, attribute: Any, attribute_state: Any) -> StatusCode:
        sess = self._session(session)
        try:
            status = sess.set_attribute(attribute, attribute_state)
        except quvxvr.Error as e:
            return self._fail(session, e)
        return self.handle_return_value(session, status)

    # --- what the library has no counterpart for -------------------------------------
    def _unsupported(self, session: Any, *args: Any) -> StatusCode:
        return self.handle_return_value(session, StatusCode.error_nonsupported_operation)

    flush = _unsupported


__all__ = ["XvrVisaLibrary", "list_serial_resources"]
