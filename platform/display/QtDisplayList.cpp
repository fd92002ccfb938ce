#include "platform/display/QtDisplayList.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <array>
#include <cctype>

namespace mavu::display {

namespace {

// FNV-1a: unlike qHash it is not seeded per process, so an id means the same in every run.
std::uint32_t nameHash(const QByteArray& name) {
    std::uint32_t hash = 2166136261u;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

bool isBuiltInConnector(std::string_view connector) {
    constexpr std::array<std::string_view, 3> panels = {"eDP", "LVDS", "DSI"};
    return std::any_of(panels.begin(), panels.end(), [connector](std::string_view panel) {
        return startsWithIgnoringCase(connector, panel);
    });
}

std::vector<ActiveDisplay> QtDisplayList::activeDisplays() const {
    std::vector<ActiveDisplay> displays;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return displays;
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QByteArray name = screen->name().toUtf8();
        ActiveDisplay display;
        if (!name.isEmpty()) {
            display.id = nameHash(name);
        }
        display.builtIn = isBuiltInConnector(std::string_view(name.constData(), name.size()));
        displays.push_back(display);
    }
    return displays;
}

}  // namespace mavu::display
