#include "GuiFixture.h"

#include <QDir>
#include <QPixmap>

namespace quor::gui::testing {

void GuiFixture::Screenshot(QWidget& w, const QString& name) {
    QString folder = qEnvironmentVariable("QUOR_SCREENSHOT_DIR");
    if (folder.isEmpty()) folder = QDir::currentPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
}

}  // namespace quor::gui::testing
