#include "serial/ATCommands.h"

namespace serial {

TATCommandItem& TATCommands::Add() {
    return items_.emplace_back();
}

void TATCommands::Assign(const TATCommands& Source) {
    if (&Source == this) {
        return;
    }
    std::vector<TATCommandItem> copies(Source.items_.size());
    for (std::size_t i = 0; i < copies.size(); ++i) {
        copies[i].Assign(Source.items_[i]);
    }
    items_ = std::move(copies);
}

} // namespace serial
