"""VISA's control operations over the library's control vocabulary: viClear,
viReadSTB, viAssertTrigger, viLock / viUnlock, service-request events and
viGpibControlREN.

A driver without the operation answers -11, which VISA reports as
VI_ERROR_NSUP_OPER; -21 is VI_ERROR_RSRC_LOCKED (VI_ERROR_TMO for viLock,
whose time-out ran out), -22 VI_ERROR_CONN_LOST, -23 VI_ERROR_SYSTEM_ERROR
(VI_ERROR_INV_SETUP when the service-request channel cannot be set up).
"""
import secrets
from typing import Any, Dict, Optional, Tuple

import quvxvr
from pyvisa import constants
from pyvisa.constants import EventAttribute, EventType, RENLineOperation, StatusCode

from .session import Session, visa_status

_NOT_HERE = {quvxvr.XVR_ERR_UNKNOWN_PARAM: StatusCode.error_nonsupported_operation}
_REN = {
    RENLineOperation.asrt: "REMOTE",
    RENLineOperation.asrt_address: "REMOTE",
    RENLineOperation.deassert: "LOCAL",
    RENLineOperation.deassert_gtl: "LOCAL",
    RENLineOperation.address_gtl: "LOCAL",
    RENLineOperation.asrt_llo: "LOCKOUT",
    RENLineOperation.asrt_address_llo: "LOCKOUT",
}
# The library takes time-outs as signed 32-bit milliseconds.
_LONGEST_MS = 0x7FFFFFFF


class EventContext:
    """What wait_on_event hands back: a session of its own that answers the
    event's attributes until it is closed."""

    def __init__(self, event_type: EventType, status_byte: int) -> None:
        self.event_type = event_type
        self.status_byte = status_byte


def _ms(timeout: int) -> int:
    return _LONGEST_MS if timeout is None or timeout > _LONGEST_MS else max(0, int(timeout))


def _srq_kind(event_type: Any) -> bool:
    return event_type in (EventType.service_request, EventType.all_enabled)


class ControlMixin:
    """Mixed into XvrVisaLibrary, whose _session, _register and
    handle_return_value it uses."""

    sessions: Dict[int, Any]

    def _control(self, session: Any, call, overrides: Optional[Dict[int, StatusCode]] = None,
                 failed: Any = None) -> Tuple[Any, StatusCode]:
        """call(Session) under the library's failure mapping: (its result,
        status)."""
        sess = self._session(session)
        try:
            result = call(sess)
        except quvxvr.Error as e:
            status = visa_status(e, overrides={**_NOT_HERE, **(overrides or {})})
            return failed, self.handle_return_value(session, status)
        return result, self.handle_return_value(session, StatusCode.success)

    def clear(self, session: Any) -> StatusCode:
        def clear(sess: Session) -> None:
            sess.device.clear()
            sess.srq_stb = None
        return self._control(session, clear)[1]

    def read_stb(self, session: Any) -> Tuple[int, StatusCode]:
        def read(sess: Session) -> int:
            if sess.srq_stb is not None:
                stb, sess.srq_stb = sess.srq_stb, None
                return stb
            return sess.device.read_stb()
        return self._control(session, read, failed=0)

    def assert_trigger(self, session: Any, protocol: constants.TriggerProtocol) -> StatusCode:
        return self._control(session, lambda sess: sess.device.trigger())[1]

    def gpib_control_ren(self, session: Any, mode: RENLineOperation) -> StatusCode:
        if mode not in _REN:
            return self.handle_return_value(session, StatusCode.error_invalid_mode)
        return self._control(session, lambda sess: sess.device.control_ren(_REN[mode]),
                             {quvxvr.XVR_ERR_BAD_VALUE: StatusCode.error_nonsupported_mode})[1]

    # --- locks ---------------------------------------------------------------
    def lock(self, session: Any, lock_type: Any, timeout: int,
             requested_key: Optional[str] = None) -> Tuple[Optional[str], StatusCode]:
        shared = lock_type in (constants.Lock.shared, constants.AccessModes.shared_lock)
        key = (requested_key or "xvr-" + secrets.token_hex(8)) if shared else None
        # viLock whose time ran out is a time-out; a lock kind the driver
        # lacks (a shared one over VXI-11) an invalid lock type.
        overrides = {quvxvr.XVR_ERR_LOCKED: StatusCode.error_timeout,
                     quvxvr.XVR_ERR_BAD_VALUE: StatusCode.error_invalid_lock_type}
        _, status = self._control(session, lambda sess: sess.device.lock(key, timeout_ms=_ms(timeout)),
                                  overrides)
        return key, status

    def unlock(self, session: Any) -> StatusCode:
        def unlock(sess: Session) -> bool:
            if sess.device.lock_state().strip().upper() == "NONE":
                return False
            sess.device.unlock()
            return True
        held, status = self._control(session, unlock)
        if status == StatusCode.success and not held:
            return self.handle_return_value(session, StatusCode.error_session_not_locked)
        return status

    # --- service requests ------------------------------------------------------
    _SRQ_SETUP = {quvxvr.XVR_ERR_REFUSED: StatusCode.error_invalid_setup}

    def enable_event(self, session: Any, event_type: Any, mechanism: Any, context: Any = None) -> StatusCode:
        if event_type != EventType.service_request:
            return self.handle_return_value(session, StatusCode.error_invalid_event)
        if mechanism != constants.EventMechanism.queue:
            return self.handle_return_value(session, StatusCode.error_nonsupported_mechanism)
        sess = self._session(session)
        if sess.srq_enabled:
            return StatusCode.success_event_already_enabled

        def enable(sess: Session) -> None:
            sess.device.enable_srq()
            sess.srq_enabled = True
        return self._control(session, enable, self._SRQ_SETUP)[1]

    def disable_event(self, session: Any, event_type: Any, mechanism: Any) -> StatusCode:
        sess = self._session(session)
        if not _srq_kind(event_type) or not sess.srq_enabled:
            # Resource.close switches every event off, also where none was on.
            return StatusCode.success_event_already_disabled if _srq_kind(event_type) else StatusCode.success

        def disable(sess: Session) -> None:
            sess.srq_enabled = False
            sess.srq_stb = None
            sess.device.disable_srq()
        return self._control(session, disable)[1]

    def discard_events(self, session: Any, event_type: Any, mechanism: Any) -> StatusCode:
        sess = self._session(session)
        if not _srq_kind(event_type) or not sess.srq_enabled:
            return StatusCode.success

        def discard(sess: Session) -> None:
            # The library keeps one request; switching delivery off and on
            # again drops it.
            sess.device.disable_srq()
            sess.device.enable_srq()
        return self._control(session, discard, self._SRQ_SETUP)[1]

    def wait_on_event(self, session: Any, in_event_type: Any, timeout: int) -> Tuple[Any, Any, StatusCode]:
        sess = self._session(session)
        if not _srq_kind(in_event_type):
            return in_event_type, None, self.handle_return_value(session, StatusCode.error_invalid_event)
        if not sess.srq_enabled:
            return in_event_type, None, self.handle_return_value(session, StatusCode.error_not_enabled)
        stb, status = self._control(session, lambda sess: sess.device.wait_srq(_ms(timeout)), self._SRQ_SETUP)
        sess.srq_stb = stb
        context = self._register(EventContext(EventType.service_request, stb))
        return EventType.service_request, context, status

    def event_attribute(self, context: EventContext, attribute: Any) -> Tuple[Any, StatusCode]:
        if attribute == EventAttribute.event_type:
            return context.event_type, StatusCode.success
        return None, StatusCode.error_nonsupported_attribute
