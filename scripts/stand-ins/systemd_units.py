'''A stand-in for systemd's manager on a private system bus, for python3-dbusmock.

It keeps the unit-file state of the units named in the parameters (default: MAVU's
daemon unit, disabled), so the app's registration runs as on a real machine: it reads the
state, enables the unit and reloads. Jobs finish at once. The bus itself starts the
daemon from its activation file, so StartUnit only answers; StopUnit ends the process
that owns the unit's bus name, as systemd would.

  /usr/bin/python3 -m dbusmock --system --template scripts/stand-ins/systemd_units.py \
      [-p '{"units": {"NAME.service": "enabled"}, "bus_names": {"NAME.service": "BUS.NAME"}}']
'''

# pylint: disable=invalid-name
import os
import signal

import dbus

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
SYSTEM_BUS = True

DAEMON_UNIT = 'group.com.norvel.mavu.helper.service'


def load(mock, parameters):
    mock.unit_files = dict(parameters.get('units', {DAEMON_UNIT: 'disabled'}))
    mock.bus_names = dict(parameters.get('bus_names', {DAEMON_UNIT: 'group.com.norvel.mavu.helper'}))
    mock.next_job = 1


def known(mock, name):
    if name not in mock.unit_files:
        raise dbus.exceptions.DBusException(f'Unit file {name} does not exist.',
                                            name='org.freedesktop.DBus.Error.FileNotFound')
    return str(name)


def job(mock):
    path = f'{MAIN_OBJ}/job/{mock.next_job}'
    mock.next_job += 1
    return dbus.ObjectPath(path)


def changes(kind, names):
    return dbus.Array([(kind, f'/etc/systemd/system/{name}', f'/lib/systemd/system/{name}')
                       for name in names], signature='(sss)')


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='s')
def GetUnitFileState(self, name):
    return self.unit_files[known(self, name)]


@dbus.service.method(MAIN_IFACE, in_signature='asbb', out_signature='ba(sss)')
def EnableUnitFiles(self, names, _runtime, _force):
    for name in names:
        self.unit_files[known(self, name)] = 'enabled'
    return True, changes('symlink', names)


@dbus.service.method(MAIN_IFACE, in_signature='asb', out_signature='a(sss)')
def DisableUnitFiles(self, names, _runtime):
    for name in names:
        self.unit_files[known(self, name)] = 'disabled'
    return changes('unlink', names)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='')
def Reload(self):
    pass


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o')
def StartUnit(self, name, _mode):
    known(self, name)
    return job(self)


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o')
def StopUnit(self, name, _mode):
    bus_name = self.bus_names.get(known(self, name))
    if bus_name:
        daemon = dbus.Interface(self.connection.get_object('org.freedesktop.DBus',
                                                           '/org/freedesktop/DBus'),
                                'org.freedesktop.DBus')
        try:
            os.kill(int(daemon.GetConnectionUnixProcessID(bus_name)), signal.SIGTERM)
        except (dbus.exceptions.DBusException, ProcessLookupError):
            pass  # not running: nothing to stop
    return job(self)
