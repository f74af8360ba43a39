// Inside the fake device bus: the list of named devices that a test plugs, unplugs, renames and
// reorders, the same for outputs and inputs. A device is shared, so that it outlives its place in
// the list while a port still holds it open; every device ever plugged is kept for its record.
// Not thread-safe: the bus's mutex guards it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct FakeDevice {
    using Message = std::vector<std::uint8_t>;

    std::string name;
    bool plugged = true;
    // What the device received or played, each with the bus-wide sequence number of its arrival,
    // so that the records of several devices of one name merge back into arrival order.
    std::vector<std::pair<std::uint64_t, Message>> record;
};

template <class Device>
class FakeDeviceList {
public:
    using Message = FakeDevice::Message;

    explicit FakeDeviceList(char const* kind) : kind_(kind) {}

    std::size_t size() const { return plugged_.size(); }
    std::vector<std::shared_ptr<Device>> const& plugged() const { return plugged_; }
    std::vector<std::shared_ptr<Device>> const& everPlugged() const { return all_; }

    std::shared_ptr<Device> at(unsigned index) const {
        if (index >= plugged_.size()) {
            throw std::out_of_range(std::string("no MIDI ") + kind_ + " at index " + std::to_string(index));
        }
        return plugged_[index];
    }

    // Inserts a device at index (later devices move up by one); returns it.
    std::shared_ptr<Device> plugAt(unsigned index, std::string const& name) {
        if (index > plugged_.size()) {
            throw std::out_of_range("plugAt: index past the end");
        }
        auto device = std::make_shared<Device>();
        device->name = name;
        plugged_.insert(plugged_.begin() + index, device);
        all_.push_back(device);
        return device;
    }

    void unplugAt(unsigned index) {
        at(index)->plugged = false;
        plugged_.erase(plugged_.begin() + index);
    }

    // Removes the first device with this name; false if there is none.
    bool unplug(std::string const& name) {
        auto it = std::find_if(plugged_.begin(), plugged_.end(),
                               [&](auto const& d) { return d->name == name; });
        if (it == plugged_.end()) {
            return false;
        }
        (*it)->plugged = false;
        plugged_.erase(it);
        return true;
    }

    // order[i] is the old index of the device that ends up at index i.
    void reorder(std::vector<unsigned> const& order) {
        std::vector<unsigned> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        for (unsigned i = 0; i < sorted.size(); ++i) {
            if (sorted.size() != plugged_.size() || sorted[i] != i) {
                throw std::invalid_argument("reorder: not a permutation of the device indices");
            }
        }
        std::vector<std::shared_ptr<Device>> reordered;
        for (unsigned old : order) {
            reordered.push_back(plugged_[old]);
        }
        plugged_ = std::move(reordered);
    }

    void swap(unsigned a, unsigned b) {
        std::shared_ptr<Device> first = at(a);
        std::shared_ptr<Device> second = at(b);
        plugged_[a] = second;
        plugged_[b] = first;
    }

    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (auto const& device : plugged_) {
            names.push_back(device->name);
        }
        return names;
    }

    // The records of every device of this name, also ones unplugged since, in arrival order;
    // `take` forgets them.
    std::vector<Message> records(std::string const& name, bool take) {
        std::vector<std::pair<std::uint64_t, Message>> merged;
        for (auto const& device : all_) {
            if (device->name != name) {
                continue;
            }
            if (take) {
                std::move(device->record.begin(), device->record.end(), std::back_inserter(merged));
                device->record.clear();
            } else {
                merged.insert(merged.end(), device->record.begin(), device->record.end());
            }
        }
        std::sort(merged.begin(), merged.end(),
                  [](auto const& a, auto const& b) { return a.first < b.first; });
        std::vector<Message> messages;
        messages.reserve(merged.size());
        for (auto& entry : merged) {
            messages.push_back(std::move(entry.second));
        }
        return messages;
    }

private:
    char const* kind_;
    std::vector<std::shared_ptr<Device>> plugged_;  // in index order
    std::vector<std::shared_ptr<Device>> all_;      // ever plugged
};
