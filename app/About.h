// The About box: a small modeless window naming the program, the questionnaire
// it serves and its version; created hidden, shown by the About command.
#pragma once

#include <QDialog>
#include <QLabel>

class QPushButton;

namespace app {

// A label that draws its caption twice: first a shadow offset to the right and
// below, then the caption itself.
class TShadowLabel : public QLabel {
public:
    explicit TShadowLabel(const QString& text, QWidget* parent = nullptr);

    static constexpr int kShadowOffset = 1;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Shows the box centred on the screen, or raises it when already showing:
    // there is never more than one box.
    void ShowBox();

    QPushButton* OKButton = nullptr;
    TShadowLabel* WebLabel = nullptr;

private:
    void OKButtonClick();
};

} // namespace app
