#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/message_dialog.h"
#include "ui/tray_icon.h"

namespace qelto::testing_support {

// A tray that remembers every picture it was asked to show.
class FakeTray : public TrayIcon {
 public:
  void Add() override { added = true; }
  void SetImage(TrayImage image) override { images.push_back(image); }
  void SetTip(const std::string& tip) override { tips.push_back(tip); }
  void Remove() override { removed = true; }

  bool added = false;
  bool removed = false;
  std::vector<TrayImage> images;
  std::vector<std::string> tips;
};

class FakeLabels : public StatusLabels {
 public:
  void SetDatabaseIndicator(bool good, const std::string& text) override {
    databaseGood = good;
    databaseText = text;
  }
  void SetDeviceIndicator(bool good, const std::string& text) override {
    devicesGood = good;
    devicesText = text;
  }

  bool databaseGood = false;
  std::string databaseText = "LabelDB";
  bool devicesGood = false;
  std::string devicesText = "LabelUSB";
};

// A modal dialog without a screen. While a dialog is "open", `whileOpen` runs: it stands for the
// modal loop and typically runs nested timer ticks. The dialog ends when `whileOpen` returns, with
// kResultClosed if it was withdrawn meanwhile, else with `answer`.
class FakeDialog : public MessageDialog {
 public:
  struct Shown {
    std::uint16_t buttons;
    std::string text;
    std::int32_t id;
  };

  std::int32_t ShowMessageForm(std::uint16_t buttons, const std::string& text,
                               std::int32_t id) override {
    if (open_) {
      ++refusals;
      return kResultRefused;
    }
    open_ = true;
    openId_ = id;
    withdrawn_ = false;
    shown.push_back({buttons, text, id});
    if (whileOpen) whileOpen();
    const std::int32_t result = withdrawn_ ? kResultClosed : answer;
    open_ = false;
    openId_ = 0;
    return result;
  }
  void CloseMessageForm(std::int32_t id) override {
    if (open_ && id == openId_) withdrawn_ = true;
  }
  void CloseAny() override {
    if (open_) withdrawn_ = true;
  }
  bool IsMessageShowing() const override { return open_; }

  bool Withdrawn() const { return withdrawn_; }
  std::int32_t OpenId() const { return openId_; }

  // Runs `tick` as the modal loop would, every 500 ms, until the dialog is withdrawn or `limit`
  // ticks have run (the operator answering then).
  static std::function<void()> Ticking(FakeDialog& dialog, std::function<void()> tick, int limit) {
    return [&dialog, tick = std::move(tick), limit] {
      for (int i = 0; i < limit && !dialog.Withdrawn(); ++i) tick();
    };
  }

  std::function<void()> whileOpen;
  std::int32_t answer = kResultOk;
  std::vector<Shown> shown;
  int refusals = 0;

 private:
  bool open_ = false;
  std::int32_t openId_ = 0;
  bool withdrawn_ = false;
};

}  // namespace qelto::testing_support
