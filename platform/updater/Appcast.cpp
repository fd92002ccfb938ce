#include "platform/updater/Appcast.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QXmlStreamReader>

#include "platform/updater/VersionComparison.h"

namespace mavu::updater {
namespace {

constexpr QLatin1StringView kSparkleNamespace(
    "http://www.andymatuschak.org/xml-namespaces/sparkle");

std::string trimmed(const QString& text) {
    return text.trimmed().toStdString();
}

// A page the desktop may open: an absolute http or https address with a host.
std::string webPage(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http")) {
        return {};
    }
    return url.toString(QUrl::FullyEncoded).toStdString();
}

UpdateItem readItem(QXmlStreamReader& reader) {
    UpdateItem item;
    std::string link;
    std::string enclosureUrl;
    std::string enclosureVersion;
    std::string enclosureShortVersion;
    while (reader.readNextStartElement()) {
        const auto name = reader.name();
        const auto ns = reader.namespaceUri();
        if (ns.isEmpty() && name == u"title") {
            item.title = trimmed(reader.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (ns.isEmpty() && name == u"link") {
            link = webPage(reader.readElementText());
        } else if (ns.isEmpty() && name == u"description") {
            item.itemDescription =
                trimmed(reader.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (ns.isEmpty() && name == u"enclosure") {
            const auto attributes = reader.attributes();
            enclosureUrl = webPage(attributes.value(QLatin1StringView("url")).toString());
            enclosureVersion = trimmed(
                attributes.value(kSparkleNamespace, QLatin1StringView("version")).toString());
            enclosureShortVersion =
                trimmed(attributes.value(kSparkleNamespace, QLatin1StringView("shortVersionString"))
                            .toString());
            reader.skipCurrentElement();
        } else if (ns == kSparkleNamespace && name == u"version") {
            item.versionString = trimmed(reader.readElementText());
        } else if (ns == kSparkleNamespace && name == u"shortVersionString") {
            item.displayVersionString = trimmed(reader.readElementText());
        } else {
            reader.skipCurrentElement();
        }
    }
    if (item.versionString.empty()) {
        item.versionString = enclosureVersion;
    }
    if (item.displayVersionString.empty()) {
        item.displayVersionString = enclosureShortVersion;
    }
    item.downloadPage = link.empty() ? enclosureUrl : link;
    return item;
}

Appcast failure(const QString& why) {
    return {{}, "The update feed is not a valid appcast: " + why.toStdString() + "."};
}

}  // namespace

Appcast parseAppcast(std::string_view xml) {
    QXmlStreamReader reader(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    Appcast appcast;
    bool sawChannel = false;
    if (reader.readNextStartElement()) {
        if (reader.name() != u"rss" || !reader.namespaceUri().isEmpty()) {
            return failure(QStringLiteral("it is not an RSS feed"));
        }
        while (reader.readNextStartElement()) {
            if (reader.name() != u"channel" || sawChannel) {
                reader.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (reader.readNextStartElement()) {
                if (reader.name() == u"item" && reader.namespaceUri().isEmpty()) {
                    appcast.items.push_back(readItem(reader));
                } else {
                    reader.skipCurrentElement();
                }
            }
        }
    }
    // Whatever follows the root must still be well-formed.
    while (!reader.atEnd()) {
        reader.readNext();
    }
    if (reader.hasError()) {
        return failure(
            QStringLiteral("%1 (line %2)").arg(reader.errorString()).arg(reader.lineNumber()));
    }
    if (!sawChannel) {
        return failure(QStringLiteral("it has no channel"));
    }
    return appcast;
}

std::optional<UpdateItem> newestOfferableItem(const std::vector<UpdateItem>& items) {
    std::optional<UpdateItem> newest;
    for (const UpdateItem& item : items) {
        if (item.versionString.empty() || item.downloadPage.empty()) {
            continue;
        }
        if (!newest || compareVersions(item.versionString, newest->versionString) > 0) {
            newest = item;
        }
    }
    return newest;
}

}  // namespace mavu::updater
