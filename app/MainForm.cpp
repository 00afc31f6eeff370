#include "app/MainForm.h"

#include "app/Application.h"
#include "app/Resources.h"
#include "platform/Exceptions.h"
#include "platform/TextEncoding.h"
#include "report/Save.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QUrl>

namespace app {
namespace {

// The busy cursor for the life of a command, restored on every path.
class TBusyCursor {
public:
    TBusyCursor() {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        // Let the cursor change reach the screen before the work starts.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
    ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
};

QString ExecutableFolder() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/");
}

} // namespace

QString DroppedRecordFile(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (url.isLocalFile() &&
            url.toLocalFile().endsWith(QStringLiteral(".Result"), Qt::CaseInsensitive)) {
            return url.toLocalFile();
        }
    }
    return {};
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("KELTA - Анкета Мильмана"));
    setGeometry(292, 110, 1010, 780);
    setWindowIcon(ProgramIcon());
    ApplyFormLook(*this);
    setAcceptDrops(true);

    // The panels keep fixed places and sizes whatever the window's size.
    auto* panels = new QWidget(this);
    panels->setObjectName("Panels");
    setCentralWidget(panels);

    charts_ = profile::CreateProfileCharts(panels);

    meInter = new QPlainTextEdit(panels);
    meInter->setObjectName("meInter");
    meInter->setGeometry(512, 400, 512, 321);
    // Editable: notes typed into the panel go into the report that Save writes.
    QFont courier(QStringLiteral("Courier New"));
    courier.setPixelSize(16);
    meInter->setFont(courier);
    meInter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    meInter->setVisible(false);

    QMenuBar* mainMenu1 = menuBar();
    mainMenu1->setObjectName("MainMenu1");
    mmOpen = mainMenu1->addAction(OpenGlyph(), QStringLiteral("Open"));
    mmOpen->setObjectName("mmOpen");
    mmOpen->setShortcut(QKeySequence::Open);
    connect(mmOpen, &QAction::triggered, this, &TForm1::mmOpenClick);

    mmSave = mainMenu1->addAction(SaveGlyph(), QStringLiteral("Save"));
    mmSave->setObjectName("mmSave");
    mmSave->setShortcut(QKeySequence::Save);
    mmSave->setEnabled(false);
    connect(mmSave, &QAction::triggered, this, &TForm1::mmSaveClick);

    mmSample = mainMenu1->addAction(QStringLiteral("Sample"));
    mmSample->setObjectName("mmSample");
    connect(mmSample, &QAction::triggered, this, &TForm1::mmSampleClick);

    mmAbout = mainMenu1->addAction(QStringLiteral("О программе"));
    mmAbout->setObjectName("mmAbout");
    connect(mmAbout, &QAction::triggered, this, [this] { emit AboutRequested(); });

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
    programFolder_ = ExecutableFolder();
    workBuffer_ = std::make_unique<profile::TRecordLines>();
}

void TForm1::FormClose() {
    workBuffer_.reset();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    emit Closed();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !DroppedRecordFile(event->mimeData()->urls()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* event) {
    RunHandler([&] {
        if (OpenDropped(*event->mimeData())) {
            event->acceptProposedAction();
        }
    });
}

bool TForm1::OpenDropped(const QMimeData& data) {
    const QString path = DroppedRecordFile(data.urls());
    if (path.isEmpty()) {
        return false;
    }
    OpenRecordFile(path);
    return true;
}

QStringList TForm1::InterLines() const {
    if (meInter->document()->isEmpty()) {
        return {};
    }
    return meInter->toPlainText().split(QLatin1Char('\n'));
}

void TForm1::mmOpenClick() {
    RunHandler([this] {
        programFolder_ = ExecutableFolder();
        QFileDialog dialog(this, QStringLiteral("Открыть данные из файла *.Result"),
                           programFolder_ + QStringLiteral("Data"));
        dialog.setObjectName("OpenDialog1");
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QStringLiteral("Data filles (*.Result)"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return;
        }
        OpenRecordFile(dialog.selectedFiles().constFirst());
    });
}

void TForm1::mmSampleClick() {
    RunHandler([this] { OpenSample(); });
}

void TForm1::mmSaveClick() {
    RunHandler([this] {
        report::SaveReport(ResultsFolder().toStdString(), OutputBaseName().toStdString(),
                           InterLines(), Charts());
    });
}

void TForm1::OpenRecordFile(const QString& path) {
    const TBusyCursor busy;
    ShowRecord(profile::LoadRecordFile(path.toStdString()));
}

void TForm1::OpenSample() {
    const TBusyCursor busy;
    ShowRecord(profile::LoadSampleRecord());
}

void TForm1::ShowRecord(const profile::TLoadedRecord& record) {
    if (!workBuffer_) {
        throw platform::EAbort(); // the window is closing
    }
    // Everything that can fail has happened: the record is read and parsed.
    *workBuffer_ = record.Lines;
    outputBaseName_ = QString::fromStdString(record.BaseName);
    identification_ = (*workBuffer_)[1];
    profile_ = record.Profile;

    QStringList shown;
    for (const std::string& line : *workBuffer_) {
        shown.append(QString::fromStdString(platform::Cp1251ToUtf8(line)));
    }
    profile::PlotProfile(charts_, profile_, shown[1]);

    meInter->setUpdatesEnabled(false);
    meInter->setPlainText(shown.join(QLatin1Char('\n')));
    meInter->setUpdatesEnabled(true);

    meInter->setVisible(true);
    profile::ShowCharts(charts_);
    mmSave->setEnabled(true);
}

} // namespace app
