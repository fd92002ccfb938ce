#include "app/ui/style/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace mavu::ui {
namespace {

// Looked up once: the font database does not change while the app runs.
struct Families {
    QString system;
    bool quicksand = false;
    bool quicksandMedium = false;
    bool comicNeue = false;
};

const Families& families() {
    static const Families found = [] {
        Families f;
        f.system = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        const QStringList all = QFontDatabase::families();
        f.quicksand = all.contains(QStringLiteral("Quicksand"));
        f.quicksandMedium = all.contains(QStringLiteral("Quicksand Medium"));
        f.comicNeue = all.contains(QStringLiteral("Comic Neue"));
        return f;
    }();
    return found;
}

QFont::Weight qtWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular:
            return QFont::Normal;
        case FontWeight::medium:
            return QFont::Medium;
        case FontWeight::semibold:
            return QFont::DemiBold;
        case FontWeight::bold:
            return QFont::Bold;
        case FontWeight::black:
            return QFont::Black;
    }
    return QFont::Normal;
}

QFont sized(const QString& family, int size, QFont::Weight weight) {
    QFont font(family);
    font.setPixelSize(size);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

}  // namespace

QFont systemFont(int size, FontWeight weight) {
    return sized(families().system, size, qtWeight(weight));
}

QFont roundedFont(int size, FontWeight weight) {
    const Families& f = families();
    if (!f.quicksand) {
        return systemFont(size, weight);
    }
    // Quicksand is drawn lighter than the desktop's rounded faces it stands in for, so each
    // weight takes the next heavier cut: regular reads as Medium, the rest as Bold.
    if (weight == FontWeight::regular && f.quicksandMedium) {
        return sized(QStringLiteral("Quicksand Medium"), size, QFont::Normal);
    }
    return sized(QStringLiteral("Quicksand"), size,
                 weight == FontWeight::regular ? QFont::Normal : QFont::Bold);
}

QFont casualFont(int size) {
    const Families& f = families();
    if (!f.comicNeue) {
        return roundedFont(size, FontWeight::bold);
    }
    return sized(QStringLiteral("Comic Neue"), size, QFont::Bold);
}

void setTracking(QFont& font, double points) {
    font.setLetterSpacing(QFont::AbsoluteSpacing, points);
}

}  // namespace mavu::ui
