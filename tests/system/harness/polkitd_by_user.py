'''A stand-in for polkitd: python-dbusmock's polkitd template, answering per user.

Besides the template's own controls (SetAllowed, AllowUnknown, SimulateHang, ...), an
action is allowed only to the users given with SetAllowedUsers (uids; everyone until it
is called), as polkit allows the active local session's user and no one else. A subject
"system-bus-name" is the user the bus says owns that name.
'''

# pylint: disable=wildcard-import,unused-wildcard-import,invalid-name
from dbusmock.templates.polkitd import *  # noqa: F401,F403
from dbusmock.templates import polkitd as stock


def load(mock, parameters):
    stock.load(mock, parameters)
    mock.allowed_users = None


def subject_user(mock, subject):
    kind, properties = subject
    if kind != 'system-bus-name':
        return None
    bus = dbus.Interface(mock.connection.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus'),
                         'org.freedesktop.DBus')
    return int(bus.GetConnectionUnixUser(properties['name']))


@dbus.service.method(MAIN_IFACE, in_signature='(sa{sv})sa{ss}us', out_signature='(bba{ss})',
                     async_callbacks=('ok_cb', '_err_cb'))
def CheckAuthorization(self, subject, action_id, _details, _flags, _cancellation_id, ok_cb,
                       _err_cb):
    allowed = action_id in self.allowed or self.allow_unknown
    if allowed and self.allowed_users is not None:
        allowed = subject_user(self, subject) in self.allowed_users
    ret = (allowed, False, {})
    if self.simulate_hang or action_id in self.hanging_actions:
        self.hanging_calls.append((ok_cb, ret))
    else:
        ok_cb(ret)


@dbus.service.method(MOCK_IFACE, in_signature='au', out_signature='')
def SetAllowedUsers(self, uids):
    '''Allow actions only to these users'''
    self.allowed_users = [int(uid) for uid in uids]
