#pragma once

#include "engine/FileFacts.h"

#include <QString>

namespace vexo
{

class LanguageTable;

// The two files of a replace question: the destination that exists and the
// source that would replace it, with the newer one marked, in the words of
// the language table. Gathered by the transfer that asks; the question only
// shows the texts.
class ReplaceFacts
{
public:
    // Times this close count as the same: the image keeps even seconds only.
    static constexpr qint64 SameTimeMs = 2000;

    ReplaceFacts() = default;
    ReplaceFacts(const FileFacts &existing, const FileFacts &incoming);

    const FileFacts &existing() const { return m_existing; }
    const FileFacts &incoming() const { return m_incoming; }
    // Whether one side is newer by more than SameTimeMs; both must be known.
    bool existingIsNewer() const;
    bool incomingIsNewer() const;

    // One side as "<size> bytes, <date>", "(newer)" added to the newer side;
    // empty when that side is unknown.
    QString existingLine(const LanguageTable &language) const;
    QString incomingLine(const LanguageTable &language) const;
    // Both lines labelled, for a question asked in a message box; empty when
    // neither side is known.
    QString text(const LanguageTable &language) const;

private:
    QString line(const LanguageTable &language, const FileFacts &facts, bool newer) const;

    FileFacts m_existing;
    FileFacts m_incoming;
};

} // namespace vexo
