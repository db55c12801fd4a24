#pragma once
// Fakes of the services the updater's logic uses, one header each. Each records what the logic
// did, in order, in one shared log, so that a test reads like the algorithm.
#include "fakes/fake_app.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_hashing.h"
#include "fakes/fake_launcher.h"
#include "fakes/fake_machines.h"
#include "fakes/fake_message_boxes.h"
#include "fakes/fake_processes.h"
#include "fakes/fake_progress_bar.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_signatures.h"
#include "fakes/fake_taskbar.h"
#include "fakes/fake_transfer.h"
#include "fakes/fake_window.h"
#include "fakes/pe_bytes.h"
