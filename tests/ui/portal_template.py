"""A desktop portal's Settings interface for the appearance tests (python-dbusmock).

Parameters: scheme (0, 1 or 2), old (true: only the first version's Read, which wraps the
value in a second variant). SetScheme(u) changes the value and signals SettingChanged.
"""
import dbus

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Settings'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.scheme = dbus.UInt32(parameters.get('scheme', 0))
    read = ('ret = dbus.UInt32(self.scheme, variant_level=%d)'
            % (2 if parameters.get('old') else 1))
    mock.AddMethod(MAIN_IFACE, 'Read' if parameters.get('old') else 'ReadOne', 'ss', 'v', read)
    mock.AddMethod(MAIN_IFACE, 'SetScheme', 'u', '',
                   'self.scheme = args[0]\n'
                   'self.EmitSignal("%s", "SettingChanged", "ssv", ["org.freedesktop.appearance",'
                   ' "color-scheme", dbus.UInt32(args[0], variant_level=1)])' % MAIN_IFACE)
