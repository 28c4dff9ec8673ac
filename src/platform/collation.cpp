#include "platform/collation.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>

#include <algorithm>
#include <numeric>
#include <vector>

namespace platform {

Collation::Collation()
    : collator_(std::make_unique<QCollator>(QLocale(QLocale::Japanese, QLocale::Japan)))
{
    collator_->setCaseSensitivity(Qt::CaseInsensitive);
    // Names like "img10" must stay after "img1x" as plain text order has it.
    collator_->setNumericMode(false);
    collator_->setIgnorePunctuation(false);

    // Names and keys are nearly always plain ASCII. For such texts the
    // collation is a comparison character by character of their primary
    // weights, so ranks taken once from the collator order them exactly as
    // it does, without building sort keys for thousands of entries.
    std::vector<QString> chars;
    for (char16_t c = 0x20; c < 0x7F; ++c)
        chars.emplace_back(QChar(c));
    bool usable = true;
    for (const QString& c : chars)
        if (collator_->compare(c, QString()) == 0)
            usable = false;
    if (usable) {
        std::vector<QString> sorted = chars;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [this](const QString& a, const QString& b) { return collator_->compare(a, b) < 0; });
        asciiRank_.assign(0x80, 0);
        uint8_t rank = 0;
        for (size_t i = 0; i < sorted.size(); ++i) {
            if (i > 0 && collator_->compare(sorted[i - 1], sorted[i]) != 0)
                ++rank;
            asciiRank_[sorted[i].at(0).unicode()] = static_cast<uint8_t>(rank + 1);
        }
    }
}

bool Collation::isPrintableAscii(const QString& s)
{
    for (const QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
            return false;
    return true;
}

int Collation::compareAscii(const QString& a, const QString& b) const
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* pa = a.constData();
    const QChar* pb = b.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const int d = int(asciiRank_[pa[i].unicode()]) - int(asciiRank_[pb[i].unicode()]);
        if (d != 0)
            return d;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return QString::compare(a, b, Qt::CaseSensitive);
}

Collation::~Collation() = default;

int Collation::compare(const QString& a, const QString& b) const
{
    if (!asciiRank_.empty() && isPrintableAscii(a) && isPrintableAscii(b))
        return compareAscii(a, b);
    const int c = collator_->compare(a, b);
    if (c != 0)
        return c;
    return QString::compare(a, b, Qt::CaseSensitive);
}

std::vector<qsizetype> Collation::order(const QStringList& list) const
{
    std::vector<qsizetype> order(static_cast<size_t>(list.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    if (order.size() < 2)
        return order;
    if (!asciiRank_.empty() && std::all_of(list.begin(), list.end(), isPrintableAscii)) {
        std::sort(order.begin(), order.end(),
                  [&](qsizetype x, qsizetype y) { return compareAscii(list[x], list[y]) < 0; });
        return order;
    }
    // Sort keys make each comparison a byte comparison; ten thousand names
    // are ordered in milliseconds instead of collating every pair anew.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(order.size());
    for (const QString& s : list)
        keys.push_back(collator_->sortKey(s));
    std::sort(order.begin(), order.end(), [&](qsizetype x, qsizetype y) {
        const int c = keys[static_cast<size_t>(x)].compare(keys[static_cast<size_t>(y)]);
        if (c != 0)
            return c < 0;
        return QString::compare(list[x], list[y], Qt::CaseSensitive) < 0;
    });
    return order;
}

void Collation::sort(QStringList& list) const
{
    const std::vector<qsizetype> order = this->order(list);
    QStringList sorted;
    sorted.reserve(list.size());
    for (qsizetype i : order)
        sorted.append(std::move(list[i]));
    list.swap(sorted);
}

const Collation& listCollation()
{
    static const Collation collation;
    return collation;
}

void sortList(QStringList& list) { listCollation().sort(list); }

}  // namespace platform
