#include "app/Application.h"

#include "platform/Exceptions.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

TEST(ComposeErrorMessage, AppendsAFullStopAfterCharactersThatSortAfterIt) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"", ""},
        {"'x' is not a valid integer value", "'x' is not a valid integer value."},
        {"Done.", "Done."},
        {"Why?", "Why?."},  // '?' sorts after '.'
        {"Stop!", "Stop!"}, // '!' sorts before '.'
        {"(line 21)", "(line 21)"},
        {"a,", "a,"},
        {"path/", "path/."},
        {"2019", "2019."},
        {"Ошибка", "Ошибка."}, // a non-ASCII character sorts after '.'
        {" ", " "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::ComposeErrorMessage(c.message), c.shown) << c.message;
    }
}

// An object whose event handler throws what it is given.
class TThrower : public QObject {
public:
    std::function<void()> Throw;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            Throw();
        }
        return QObject::event(e);
    }
};

struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
};

// Runs `action` and records the message box it shows, pressing its OK button.
std::optional<ShownBox> BoxShownBy(const std::function<void()>& action) {
    std::optional<ShownBox> shown;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = ShownBox{box->windowTitle(), box->text(), box->icon()};
            box->button(QMessageBox::Ok)->click();
        }
    });
    watcher.start();
    action();
    return shown;
}

// Delivers an event through the application whose handler runs `thrower`.
std::optional<ShownBox> DeliverThrowing(std::function<void()> thrower) {
    return BoxShownBy([&] {
        TThrower target;
        target.Throw = std::move(thrower);
        QEvent event(QEvent::User);
        QApplication::sendEvent(&target, &event);
    });
}

TEST(TopLevelHandler, ShowsAnEscapingExceptionAndGoesOn) {
    const auto shown = DeliverThrowing(
        [] { throw platform::EConvertError("'  1O' is not a valid integer value"); });
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->title, "Vilcor");
    EXPECT_EQ(shown->text, "'  1O' is not a valid integer value.");
    EXPECT_EQ(shown->icon, QMessageBox::Critical);

    const auto other = DeliverThrowing([] { throw std::runtime_error("Cannot open file x"); });
    ASSERT_TRUE(other);
    EXPECT_EQ(other->text, "Cannot open file x.");
}

TEST(TopLevelHandler, ShowsNothingForAnAbort) {
    EXPECT_FALSE(DeliverThrowing([] { throw platform::EAbort(); }));
}

TEST(RunHandler, RoutesAFailureToTheSameMessageBox) {
    const auto shown = BoxShownBy(
        [] { app::RunHandler([] { throw platform::EStreamError("Stream read error"); }); });
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->title, "Vilcor");
    EXPECT_EQ(shown->text, "Stream read error.");
}

} // namespace
