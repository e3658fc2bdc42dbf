#pragma once

#include <QStringList>

#include "app/prompt.h"

// A prompt that answers from a script and remembers what it was told.
class ScriptedPrompt : public Prompt {
 public:
  QStringList messages;
  QStringList questions;
  bool answer = true;
  QString saveName;
  QString openName;
  int dialogs = 0;
  SaveChoice saveChoice = SaveChoice::Cancel;

  void message(const QString& text) override { messages << text; }
  bool confirm(const QString& text) override {
    questions << text;
    return answer;
  }
  QString saveFileName() override {
    ++dialogs;
    return saveName;
  }
  QString openFileName() override {
    ++dialogs;
    return openName;
  }
  SaveChoice askSave(const QString& text) override {
    questions << text;
    return saveChoice;
  }
};
