// The tuning library in one include: 128-note scales read from AnaMark tuning files (.tun),
// written back to them, and imported from Scala scale and keyboard-mapping files.
//
//   tun_scale.h       TUN::CSingleScale, the scale model, its .tun reader and writer
//   tun_scala.h       TUN::CSCL_Import, the .scl/.kbm importer
//   tun_formula.h     TUN::CFormula (functional tunings), TUN::CMIDIChannelRange
//   tun_strings.h     TUN::strx, the string tools of the file formats
//   tun_line_reader.h TUN::CStringParser, the line reader both file readers share
#pragma once

#include "tun_formula.h"
#include "tun_line_reader.h"
#include "tun_scala.h"
#include "tun_scale.h"
#include "tun_strings.h"
