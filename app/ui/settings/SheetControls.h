#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "app/ui/style/Palette.h"

namespace mavu::ui {

// The small controls of the settings sheet. Each paints itself in the sheet's scheme and
// holds only what it shows; what a click does is the sheet's business (clicked()).

// The red dot that closes the sheet.
class CloseDot : public QAbstractButton {
  public:
    CloseDot(ColorScheme scheme, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent*) override;
    bool hitButton(const QPoint& pos) const override;

  private:
    ColorScheme scheme_;
};

// A symbol drawn at a font size in a fixed frame; the whole frame takes clicks.
class SymbolButton : public QAbstractButton {
  public:
    SymbolButton(const QString& symbol, int fontSize, QColor color, QSize frame,
                 QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString symbol_;
    int fontSize_;
    QColor color_;
};

// Plain text that acts as a button: no frame, its own font and colour, dimmed while
// disabled.
class TextButton : public QAbstractButton {
  public:
    TextButton(const QString& text, const QFont& font, QColor color, QWidget* parent = nullptr);
    void setColor(const QColor& color);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor color_;
};

// One choice of the appearance row: an icon over its title, outlined in system red when it
// is the current preference.
class AppearanceTile : public QAbstractButton {
  public:
    enum class Icon { light, dark, system };

    AppearanceTile(const QString& title, Icon icon, ColorScheme scheme, QWidget* parent = nullptr);
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    void drawSystemSwatch(QPainter& painter, const QRectF& frame) const;

    Icon icon_;
    ColorScheme scheme_;
    bool selected_ = false;
};

// A switch showing a value it is given: a click asks for a change (clicked()), and the
// new value arrives through setOn once the model has taken it.
class ToggleSwitch : public QAbstractButton {
  public:
    ToggleSwitch(const QString& accessibleName, ColorScheme scheme, QWidget* parent = nullptr);
    bool isOn() const { return on_; }
    void setOn(bool on);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    ColorScheme scheme_;
    bool on_ = false;
};

// The standard thin horizontal separator.
class Divider : public QWidget {
  public:
    Divider(ColorScheme scheme, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    ColorScheme scheme_;
};

// A label in a font and colour of its own; wraps when the row is too narrow for it.
QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color,
                  QWidget* parent = nullptr);
void setLabelColor(QLabel* label, const QColor& color);

// A named image, aspect-fit in a fixed frame.
class ImageView : public QWidget {
  public:
    ImageView(const QString& name, QSize frame, QWidget* parent = nullptr);
    const QString& name() const { return name_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString name_;
};

}  // namespace mavu::ui
