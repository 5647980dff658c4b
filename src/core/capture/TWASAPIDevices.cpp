// The ordered collection behind the card list and each card's endpoint list.
#include "capture/TWASAPIDevices.h"

#include "capture/TWASAPIDevice.h"

#include <algorithm>
#include <stdexcept>

namespace quimbrel {

TWASAPIDevices::TWASAPIDevices() = default;
TWASAPIDevices::~TWASAPIDevices() = default;
TWASAPIDevices::TWASAPIDevices(const TWASAPIDevices&) = default;
TWASAPIDevices& TWASAPIDevices::operator=(const TWASAPIDevices&) = default;
TWASAPIDevices::TWASAPIDevices(TWASAPIDevices&&) noexcept = default;
TWASAPIDevices& TWASAPIDevices::operator=(TWASAPIDevices&&) noexcept = default;

int TWASAPIDevices::count() const {
    return static_cast<int>(m_items.size());
}

TWASAPIDevice& TWASAPIDevices::GetItem(int index) {
    if (index < 0 || index >= count())
        throw std::out_of_range("list index out of bounds");
    return m_items[static_cast<std::size_t>(index)];
}

const TWASAPIDevice& TWASAPIDevices::GetItem(int index) const {
    if (index < 0 || index >= count())
        throw std::out_of_range("list index out of bounds");
    return m_items[static_cast<std::size_t>(index)];
}

void TWASAPIDevices::SetItem(int index, const TWASAPIDevice& item) {
    GetItem(index) = item;
}

TWASAPIDevice& TWASAPIDevices::add(const TWASAPIDevice& item) {
    m_items.push_back(item);
    return m_items.back();
}

void TWASAPIDevices::move(int from, int to) {
    GetItem(from);
    GetItem(to);
    auto first = m_items.begin();
    if (from > to)
        std::rotate(first + to, first + from, first + from + 1);
    else if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
}

void TWASAPIDevices::clear() {
    m_items.clear();
}

} // namespace quimbrel
