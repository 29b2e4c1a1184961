#pragma once

// The AT command collection of the port component: a stored list of command texts, each with an
// event for its answer. Nothing sends these commands or fires the events; the collection is kept,
// loaded and copied with the component only.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QObject;

namespace serial {

using TOnATCommandRx = std::function<void(QObject* Sender, const std::string& AParams)>;

class TATCommandItem {
public:
    std::string ATcmd;
    TOnATCommandRx OnATCommandRx;

    // Copies the command text only: an assigned event belongs to the item it was given to.
    void Assign(const TATCommandItem& Source) { ATcmd = Source.ATcmd; }
    // The name a list of the items shows.
    const std::string& DisplayName() const { return ATcmd; }
};

class TATCommands {
public:
    explicit TATCommands(QObject* owner = nullptr) : owner_(owner) {}

    // A collection belongs to one component, so it is copied only item by item through Assign.
    TATCommands(const TATCommands&) = delete;
    TATCommands& operator=(const TATCommands&) = delete;

    QObject* Owner() const { return owner_; }

    TATCommandItem& Add();
    void Clear() { items_.clear(); }
    std::size_t Count() const { return items_.size(); }
    TATCommandItem& Items(std::size_t index) { return items_.at(index); }
    const TATCommandItem& Items(std::size_t index) const { return items_.at(index); }

    // Replaces the items by copies of Source's (texts only, see TATCommandItem::Assign).
    void Assign(const TATCommands& Source);

private:
    QObject* owner_;
    std::vector<TATCommandItem> items_;
};

} // namespace serial
