// The main window: the three profile charts, the text panel meInter, the menu
// with Open, Sample, Save and About, and the hidden work buffer that receives
// the results record.
#pragma once

#include "profile/Charts.h"
#include "profile/Record.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

class QAction;
class QMimeData;
class QPlainTextEdit;

namespace app {

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Open: reads and parses the whole record first; on any failure it throws
    // and the window stays exactly as it was. Shows the busy cursor meanwhile.
    void OpenRecordFile(const QString& path);
    void OpenSample();
    // Opens the record file among dropped data, as a drop onto the window does;
    // false when the data names none.
    bool OpenDropped(const QMimeData& data);

    // What the Save command works from.
    // The folder of the executable, ending in "/".
    QString ProgramFolder() const { return programFolder_; }
    // ProgramFolder() + "Results/".
    QString ResultsFolder() const { return programFolder_ + QStringLiteral("Results/"); }
    // The loaded file's name without ".Result"; empty before the first Open.
    QString OutputBaseName() const { return outputBaseName_; }
    // The text panel's lines as shown.
    QStringList InterLines() const;
    const profile::TProfileCharts& Charts() const { return charts_; }
    // Line 1 of the loaded record (Windows-1251), the foot line of every chart.
    const std::string& IdentificationLine() const { return identification_; }
    const profile::TMotivationalProfile& Profile() const { return profile_; }
    // The work buffer; null outside FormCreate ... FormClose.
    const profile::TRecordLines* WorkBuffer() const { return workBuffer_.get(); }

    QAction* mmOpen = nullptr;
    QAction* mmSample = nullptr;
    QAction* mmSave = nullptr;
    QAction* mmAbout = nullptr;
    QPlainTextEdit* meInter = nullptr;

    static constexpr int kPanelsWidth = 1024;
    static constexpr int kPanelsHeight = 721;

signals:
    // The About command was chosen.
    void AboutRequested();
    // The window was closed: the program ends.
    void Closed();

public slots:
    void mmOpenClick();
    void mmSampleClick();
    void mmSaveClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void ShowRecord(const profile::TLoadedRecord& record);

    profile::TProfileCharts charts_{};
    std::unique_ptr<profile::TRecordLines> workBuffer_;
    QString programFolder_;
    QString outputBaseName_;
    std::string identification_;
    profile::TMotivationalProfile profile_{};
};

// The record file among dropped URLs: the first local file whose name ends in
// ".Result"; empty when there is none.
QString DroppedRecordFile(const QList<QUrl>& urls);

} // namespace app
