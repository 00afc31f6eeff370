#include "app/About.h"

#include "app/Resources.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace app {
namespace {

QLabel* AddLabel(QWidget* parent, const QString& text, QRect place,
                 Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop, bool wordWrap = false) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setAlignment(alignment);
    label->setWordWrap(wordWrap);
    return label;
}

} // namespace

TShadowLabel::TShadowLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void TShadowLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    const QRect area = contentsRect();
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawText(area.translated(kShadowOffset, kShadowOffset), flags, text());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, flags, text());
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("AboutBox");
    setWindowTitle(QStringLiteral("О программе"));
    setFixedSize(298, 225);
    setWindowIcon(ProgramIcon());
    setModal(false);

    ApplyFormLook(*this);

    // Outer bevel lowered, inner bevel raised.
    auto* panel2 = new QFrame(this);
    panel2->setObjectName("Panel2");
    panel2->setGeometry(8, 8, 281, 185);
    panel2->setFrameShape(QFrame::Box);
    panel2->setFrameShadow(QFrame::Sunken);
    panel2->setLineWidth(1);
    panel2->setMidLineWidth(0);

    WebLabel = new TShadowLabel(QString::fromUtf8("Vilcor"), panel2);
    WebLabel->setObjectName("WebLabel");
    WebLabel->setGeometry(55, 10, 185, 15);
    WebLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    WebLabel->setWordWrap(true);
    WebLabel->setToolTip(QStringLiteral("Web Site"));
    QFont bold = this->font();
    bold.setBold(true);
    WebLabel->setFont(bold);

    auto* appIcon = new QLabel(panel2);
    appIcon->setObjectName("AppIcon");
    appIcon->setPixmap(ProgramIcon().pixmap(32, 32));
    appIcon->setGeometry(12, 8, 32, 32);

    AddLabel(
        panel2,
        QStringLiteral("Опросник В.Э. Мильмана для\nдиагностики мотивационной\nструктуры личности"),
        {69, 24, 150, 39}, Qt::AlignHCenter | Qt::AlignTop)
        ->setObjectName("Label3");
    AddLabel(panel2, QStringLiteral(" Version 6.01"), {13, 76, 62, 13})->setObjectName("Label1");
    AddLabel(panel2, QStringLiteral("Free software for psychologists"), {13, 95, 179, 13})
        ->setObjectName("Label2");

    auto* bevel1 = new QFrame(panel2);
    bevel1->setObjectName("Bevel1");
    bevel1->setGeometry(5, 120, 271, 2);
    bevel1->setFrameShape(QFrame::HLine);
    bevel1->setFrameShadow(QFrame::Sunken);

    AddLabel(panel2, QStringLiteral("Contact points are: "), {16, 128, 250, 13},
             Qt::AlignHCenter | Qt::AlignTop)
        ->setObjectName("Label4");
    AddLabel(panel2, QStringLiteral("WWW: www.vilcor.example"), {16, 147, 250, 13},
             Qt::AlignHCenter | Qt::AlignTop)
        ->setObjectName("Label5");
    AddLabel(panel2, QStringLiteral("E-Mail: info@vilcor.example"), {8, 164, 250, 13},
             Qt::AlignHCenter | Qt::AlignTop, true)
        ->setObjectName("Label6");

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(111, 196, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TAboutBox::ShowBox() {
    if (!isVisible()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->geometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

void TAboutBox::OKButtonClick() {
    setResult(QDialog::Accepted);
    hide();
}

} // namespace app
