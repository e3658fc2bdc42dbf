#pragma once

#include <QTemporaryDir>
#include <memory>

#include "app/app_logic.h"
#include "relay_board.h"
#include "support/scripted_prompt.h"

// A station with its broker bridge and the window's logic over it, all on the test's thread, on
// the data folder dir answered by prompt (which must outlive it).
struct Plant {
  Station station;
  MqttBridge bridge{station};
  AppLogic logic;
  Plant(const QString& dir, Prompt& prompt, Clock clock = {})
      : station(dir, std::move(clock)), logic(station, bridge, prompt) {}
};

// The program's logic on a temporary data folder, answered by PromptT. openBoard() makes Com1 of
// the folder lead to an in-process simulated board.
template <typename PromptT>
struct LogicRigWith {
  QTemporaryDir dir;
  std::unique_ptr<RelayBoard> board;
  PromptT prompt;
  QDateTime clock;  // the logic's clock while valid, else the PC's
  Plant plant{dir.path(), prompt,
              [this] { return clock.isValid() ? clock : QDateTime::currentDateTime(); }};
  Station& station = plant.station;
  AppLogic& logic = plant.logic;

  bool openBoard(const RelayBoard::Options& o = {}) {
    board = std::make_unique<RelayBoard>(o);
    return board->open(dir.filePath("dosdevices/com1"), nullptr);
  }
  // Adds entries to the logic's collection, in order, under their keys.
  void add(std::initializer_list<std::pair<const char*, EntryPtr>> entries) {
    EntryCollection c = logic.entries();
    for (const auto& [key, e] : entries) c.add(QString::fromLatin1(key), e);
    logic.setEntries(std::move(c));
  }
};
using LogicRig = LogicRigWith<ScriptedPrompt>;
