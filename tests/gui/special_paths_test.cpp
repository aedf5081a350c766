// Paths that are not regular files, chosen in the dialogs: a named pipe would block the program
// until some other program writes to it, and a device like /dev/zero never ends.
#include <QElapsedTimer>

#include "shell_fixture.h"
#include "special_files.h"

namespace plk::test {
namespace {

constexpr qint64 kAtOnceMs = 2000;

TEST_F(ShellTest, OpeningANamedPipeOrADeviceAsProjectIsRefusedAtOnce) {
  const QString fifo = path(QStringLiteral("tube.plk"));
  ASSERT_TRUE(makeFifo(fifo));
  for (const QString& chosen : {fifo, QStringLiteral("/dev/zero")}) {
    prompts.errors.clear();
    prompts.fileNames = {chosen};
    QElapsedTimer clock;
    clock.start();
    {
      const FifoWatchdog watchdog(fifo);
      main().Ouvrirprojet1Click();
    }
    EXPECT_LT(clock.elapsed(), kAtOnceMs) << chosen.toStdString();
    EXPECT_EQ(prompts.errors,
              QStringList{QStringLiteral("Le fichier de projet est invalide : ") + chosen});
    EXPECT_EQ(main().project(), nullptr);
  }
}

TEST_F(ShellTest, ANamedPipeAsImageFailsToLoadAtOnce) {
  const QString fifo = path(QStringLiteral("tube.bmp"));
  ASSERT_TRUE(makeFifo(fifo));
  rightPath = fifo;
  QElapsedTimer clock;
  clock.start();
  bool opened = true;
  {
    const FifoWatchdog watchdog(fifo);
    opened = openProject();
  }
  EXPECT_LT(clock.elapsed(), kAtOnceMs);
  EXPECT_FALSE(opened);
  EXPECT_EQ(prompts.errors,
            QStringList{QStringLiteral(
                "Erreur lors du chargement de l'image droite ! Création du projet impossible.")});
}

}  // namespace
}  // namespace plk::test
