#include "shell/listing_view.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace plk {

namespace {

QString joinedLines(const std::vector<std::string>& lines, std::size_t first, std::size_t count) {
  QStringList joined;
  joined.reserve(static_cast<qsizetype>(count));
  for (std::size_t i = first; i < first + count; ++i) joined << QString::fromStdString(lines[i]);
  return joined.join(QLatin1Char('\n'));
}

int blockNumber(std::size_t line) { return static_cast<int>(line); }

// Lines [first, first + count) of the document, from the start of the first to the end of the
// last, without the line break that follows it.
void selectLines(QTextCursor& cursor, const QTextDocument& document, std::size_t first,
                 std::size_t count) {
  const QTextBlock last = document.findBlockByNumber(blockNumber(first + count - 1));
  cursor.setPosition(document.findBlockByNumber(blockNumber(first)).position());
  cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
}

// Removes whole lines with one of the line breaks around them: the one after, or the one before
// when they end the document.
void removeLines(QTextCursor& cursor, const QTextDocument& document, std::size_t first,
                 std::size_t count) {
  const QTextBlock next = document.findBlockByNumber(blockNumber(first + count));
  if (next.isValid()) {
    cursor.setPosition(document.findBlockByNumber(blockNumber(first)).position());
    cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
  } else {
    selectLines(cursor, document, first, count);
    const int end = cursor.position();
    cursor.setPosition(std::max(cursor.anchor() - 1, 0));
    cursor.setPosition(end, QTextCursor::KeepAnchor);
  }
  cursor.removeSelectedText();
}

// Inserts whole lines before line `first`, or after the last line when `first` is past it.
void insertLines(QTextCursor& cursor, const QTextDocument& document, std::size_t first,
                 const QString& text) {
  const QTextBlock before = document.findBlockByNumber(blockNumber(first));
  if (before.isValid()) {
    cursor.setPosition(before.position());
    cursor.insertText(text + QLatin1Char('\n'));
  } else {
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QLatin1Char('\n') + text);
  }
}

void applyEdit(QTextCursor& cursor, const QTextDocument& document, const ListingEdit& edit,
               const std::vector<std::string>& lines) {
  if (edit.inserted == 0) {
    if (edit.removed > 0) removeLines(cursor, document, edit.first, edit.removed);
    return;
  }
  const QString text = joinedLines(lines, edit.newFirst, edit.inserted);
  if (edit.removed == 0) {
    insertLines(cursor, document, edit.first, text);
    return;
  }
  selectLines(cursor, document, edit.first, edit.removed);
  cursor.insertText(text);
}

}  // namespace

void showListingChange(QPlainTextEdit& memo, const ListingChange& change,
                       const std::vector<std::string>& lines) {
  if (change.whole) {
    memo.setPlainText(joinedLines(lines, 0, lines.size()));
    return;
  }
  if (change.edits.empty()) return;
  QTextDocument& document = *memo.document();
  QTextCursor cursor(&document);
  cursor.beginEditBlock();
  for (const ListingEdit& edit : change.edits) applyEdit(cursor, document, edit, lines);
  cursor.endEditBlock();
}

}  // namespace plk
