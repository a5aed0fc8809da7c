#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvane/ports/serial_port_entry.h"
#include "host/image_store.h"
#include "host/model_plugin.h"
#include "host/records/recorder.h"
#include "host/records/records_settings.h"
#include "host/records/run_entry.h"

// What a page's Start hands the download window it opens: everything a run needs, fixed at
// Start. The single-port run, the multi-port window and the plug-in's status windows take their
// inputs from it and from nothing else.
struct RunRequest {
  // The pages, numbered as _A111 takes its mode.
  enum class Mode { kNormal = 1, kRomCopy = 2 };

  Mode mode = Mode::kNormal;
  bool multi = false;  // the multi-port window, which finds its phones itself
  // The Normal D/L page's plug-in; the page keeps every plug-in it loaded until it ends, which
  // is after every window it opened.
  const ModelPlugin* plugin = nullptr;
  uint8_t port = 0;    // the scanned port of a single-port run
  uint32_t erase = 0;  // the erase option bits

  // Normal: the ticked files in slot order (index i is the file the plug-in's steps name i),
  // their names for the list, and the read of their images, which may still be running when
  // Start returns. The run shares the read with the page: a later read never frees buffers a
  // run still uses.
  std::vector<std::string> paths;
  std::vector<std::string> names;
  std::shared_ptr<const CImageStore> images;

  // ROM copy: the two images (either may be empty).
  std::string cpPath, apPath;
  // The scanned port as discovery saw it (a single-port run); empty when it is not listed.
  SerialPortEntry portEntry;
  // Where the run's record goes (null: nowhere) and what every record of it starts with.
  std::shared_ptr<records::Recorder> recorder;
  records::RunStart record;
  bool recordsRequired = false;  // no run starts unless its record can be written

  // The files the run must write, indexed as its steps name them.
  std::vector<std::string> Files() const;
  // The pre-flight's mode (kCheckNormalDownload, kCheckFactoryDownload).
  int CheckMode() const;
  // The "D/L lists" text: "==  download lists  ==", then the names numbered two to a line
  // ("1. a    2. b"); for a ROM copy "1. <CP path>\n2. <AP path>".
  std::string ListText() const;
  // Why the request cannot run at all, before any file is read ("" when it can): no plug-in, or
  // a ROM copy with neither image (it would only reset the phone and report success).
  std::string Refusal() const;
  // The images of `paths` as the plug-in takes them (null for a file left on disk); valid while
  // this request lives, once the read has ended well.
  std::vector<uint8_t*> Images() const;
};

// Adds where the request's runs are recorded: the record's station, tool, plug-in, mode and
// files, and the scanned port's entry among `ports`.
void AttachRecords(RunRequest& request, std::shared_ptr<records::Recorder> recorder,
                   const records::Settings& settings, const std::vector<SerialPortEntry>& ports);

// The erase options as the page's question and tarvex-cli name them: "[Erase entire AP] ...".
std::string EraseText(uint32_t bits);
