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
}

Collation::~Collation() = default;

int Collation::compare(const QString& a, const QString& b) const
{
    const int c = collator_->compare(a, b);
    if (c != 0)
        return c;
    return QString::compare(a, b, Qt::CaseSensitive);
}

void Collation::sort(QStringList& list) const
{
    const qsizetype n = list.size();
    if (n < 2)
        return;
    // Sort keys make each comparison a byte comparison; ten thousand names
    // are ordered in milliseconds instead of collating every pair anew.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(static_cast<size_t>(n));
    for (const QString& s : list)
        keys.push_back(collator_->sortKey(s));
    std::vector<qsizetype> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::sort(order.begin(), order.end(), [&](qsizetype x, qsizetype y) {
        const int c = keys[static_cast<size_t>(x)].compare(keys[static_cast<size_t>(y)]);
        if (c != 0)
            return c < 0;
        return QString::compare(list[x], list[y], Qt::CaseSensitive) < 0;
    });
    QStringList sorted;
    sorted.reserve(n);
    for (qsizetype i : order)
        sorted.append(list[i]);
    list.swap(sorted);
}

const Collation& listCollation()
{
    static const Collation collation;
    return collation;
}

void sortList(QStringList& list) { listCollation().sort(list); }

}  // namespace platform
