#pragma once

#include "vortan/records/blockset.h"

#include <QUuid>

namespace vortan {

// The payload of a want message: blocks asked for of the offering side's record.
struct WantMessage {
    QUuid fileID;
    BlockSet blocks;

    friend bool operator==(const WantMessage&, const WantMessage&) = default;
};

}  // namespace vortan
