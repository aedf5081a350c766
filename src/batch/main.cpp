// plk-batch: the PLK chain and the scoring of disparity maps from the command line.
#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>
#include <iostream>

#include "batch/batch.h"
#include "io/image_io.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  plk::io::limitImageAllocation();
  QStringList arguments = QCoreApplication::arguments();
  arguments.removeFirst();
  return plk::batch::runBatch(arguments, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
