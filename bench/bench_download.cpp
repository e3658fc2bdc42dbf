// Downloads 99 entries to the simulated board and compares the time with what the line allows at
// 9600 baud (22 bytes out and 1 byte back per entry, 10 bits a byte: about 24 ms an entry).
// Goal: under 1.5 times the line's limit.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "relay_board.h"
#include "support/logic_rig.h"
#include "support/scripted_prompt.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  RelayBoard::Options paced;
  paced.pace = true;  // the board answers as late as a real 9600-baud line allows
  RelayBoard board(paced);
  if (!board.open(dir.filePath("dosdevices/com1"), nullptr)) return 1;
  ScriptedPrompt prompt;  // answers nothing, remembers the messages
  Plant plant(dir.path(), prompt);
  AppLogic& logic = plant.logic;
  EntryCollection page;
  for (int n = 1; n <= 99; ++n) {
    auto e = std::make_shared<Clsdata>();
    e->nRoute = 1;
    e->bIsWeek = true;
    e->strWeek = QStringLiteral("1010101");
    e->nStartHour = static_cast<qint16>(n % 24);
    page.add(entry_key(1, n), e);
  }
  logic.setEntries(std::move(page));
  QElapsedTimer t;
  t.start();
  logic.CmdDown_Click();
  const double ms = t.nsecsElapsed() / 1e6;
  const double line = 99 * 23 * 10 * 1000.0 / 9600;
  printf(
      "download of 99 entries: %.1f ms, %zu kept by the board, %d messages; line limit at 9600 "
      "baud %.0f ms; ratio %.2f (goal < 1.5)\n",
      ms, board.protocol().entries().size(), static_cast<int>(prompt.messages.size()), line,
      ms / line);
  return 0;
}
