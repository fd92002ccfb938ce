#include "platform/updater/QtUserDriver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>

#include "tests/support/QtTestApplication.h"

namespace mavu::updater {
namespace {

std::vector<QMessageBox*> openBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

void click(QMessageBox* box, const QString& label) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == label) {
            button->click();
        }
    }
    QApplication::processEvents();
}

TEST(QtUserDriver, ShowsEachSentenceAndReportsTheChoiceOnce) {
    auto driver = std::make_unique<QtUserDriver>();
    std::vector<UpdateChoice> choices;
    const auto offer = [&] {
        const UpdateItem item{"MAVU 1.4", "14", "1.4", "https://example.org", "<b>Lid</b> &amp;"};
        driver->showUpdateFound(item, "1.3", [&](UpdateChoice c) { choices.push_back(c); });
        return openBoxes().at(0);
    };

    QMessageBox* box = offer();
    EXPECT_EQ(box->text(), "A new version of MAVU is available");
    EXPECT_EQ(box->informativeText(),
              "MAVU 1.4 is now available \u2014 you have 1.3. Would you like to download it now?");
    EXPECT_EQ(box->detailedText(), "Lid &");
    click(box, "Download");
    click(offer(), "Later");
    offer()->close();
    QApplication::processEvents();
    EXPECT_EQ(choices,
              (std::vector{UpdateChoice::download, UpdateChoice::later, UpdateChoice::later}));

    driver->showUpToDate("1.3");
    box = openBoxes().at(0);
    EXPECT_EQ(box->text(), "You're up to date");
    EXPECT_EQ(box->informativeText(), "MAVU 1.3 is currently the newest version available.");
    box->close();
    QApplication::processEvents();
    driver->showUpdaterError("The update feed is too large.");
    box = openBoxes().at(0);
    EXPECT_EQ(box->text(), "Update Error");
    EXPECT_EQ(box->informativeText(), "The update feed is too large.");

    // Closing the driver closes its dialogs without answering for the user.
    offer();
    EXPECT_EQ(openBoxes().size(), 2u);
    driver.reset();
    QApplication::processEvents();
    EXPECT_TRUE(openBoxes().empty());
    EXPECT_EQ(choices.size(), 3u);
}

}  // namespace
}  // namespace mavu::updater
