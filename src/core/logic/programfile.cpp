#include "logic/programfile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

namespace programfile {

namespace {

const QLatin1String kHeaderWord("kestrune-program");

// Index 0..7 for "X00".."X07" (letter 'X') or "Y00".."Y07" (letter 'Y'),
// -1 for anything else. Letters are taken in either case.
int ioIndex(const QString &word, QChar letter)
{
    if (word.size() != 3 || word.at(0).toUpper() != letter || word.at(1) != QLatin1Char('0'))
        return -1;
    const QChar d = word.at(2);
    if (d < QLatin1Char('0') || d > QLatin1Char('7'))
        return -1;
    return d.unicode() - '0';
}

// "X03" or "Y03" as a name index 0..15, -1 for anything else.
int nameIndex(const QString &word)
{
    int k = ioIndex(word, QLatin1Char('X'));
    if (k >= 0)
        return k;
    k = ioIndex(word, QLatin1Char('Y'));
    return k >= 0 ? 8 + k : -1;
}

Error err(Problem p, int line, const QString &word = QString(), int other = 0)
{
    Error e;
    e.problem = p;
    e.line = line;
    e.word = word;
    e.other = other;
    return e;
}

int firstBit(uint8_t mask)
{
    for (int k = 0; k < 8; ++k)
        if (mask & (1u << k))
            return k;
    return -1;
}

// Reads one group of a step line: words[*pos] must be the keyword, then "-"
// or names with the given letter up to the next keyword (or the end).
Error readGroup(const QStringList &words, int *pos, const QString &keyword, const QString &nextKeyword, QChar letter,
                int line, uint8_t *mask)
{
    if (*pos >= words.size())
        return err(Problem::MissingGroup, line, keyword);
    if (words.at(*pos).toLower() != keyword)
        return err(Problem::UnknownWord, line, words.at(*pos));
    ++*pos;
    *mask = 0;
    bool none = false;
    int count = 0;
    while (*pos < words.size() && words.at(*pos).toLower() != nextKeyword) {
        const QString &w = words.at(*pos);
        if (w == QLatin1String("-")) {
            if (count > 0 || none)
                return err(Problem::UnknownWord, line, w);
            none = true;
        } else {
            const int k = ioIndex(w, letter);
            if (k < 0 || none)
                return err(Problem::UnknownWord, line, w);
            if (*mask & (1u << k))
                return err(Problem::TwiceInGroup, line, w.toUpper());
            *mask |= uint8_t(1u << k);
        }
        ++count;
        ++*pos;
    }
    if (count == 0)
        return err(Problem::MissingGroup, line, keyword);
    return Error();
}

} // namespace

Program::Program()
{
    for (int i = 0; i < 8; ++i)
        steps[i].stepNo = uint8_t(i + 1);
}

bool Program::operator==(const Program &o) const
{
    for (int i = 0; i < 8; ++i) {
        const LogicStep &a = steps[i], &b = o.steps[i];
        if (a.stepNo != b.stepNo || a.andMask != b.andMask || a.orMask != b.orMask || a.outMask != b.outMask)
            return false;
    }
    return names == o.names;
}

int Program::nameCount() const
{
    int n = 0;
    for (const auto &name : names)
        n += name.has_value() ? 1 : 0;
    return n;
}

QString ioName(int k)
{
    return QStringLiteral("%1%2").arg(k < 8 ? QLatin1Char('X') : QLatin1Char('Y')).arg(k % 8, 2, 10, QLatin1Char('0'));
}

QString maskWords(uint8_t mask, QChar letter)
{
    QStringList words;
    for (int k = 0; k < 8; ++k)
        if (mask & (1u << k))
            words << QStringLiteral("%1%2").arg(letter).arg(k, 2, 10, QLatin1Char('0'));
    return words.isEmpty() ? QStringLiteral("-") : words.join(QLatin1Char(' '));
}

QString Error::text() const
{
    const QString where = line > 0 ? QStringLiteral("line %1: ").arg(line) : QString();
    switch (problem) {
    case Problem::None: return QString();
    case Problem::TooLarge: return where + QStringLiteral("the file goes beyond 64 KB");
    case Problem::NotUtf8: return where + QStringLiteral("not UTF-8 text");
    case Problem::NoHeader: return where + QStringLiteral("the first line must be \"kestrune-program %1\"").arg(kVersion);
    case Problem::NewerVersion:
        return where + QStringLiteral("format version %1 is newer than this program reads (%2)").arg(other).arg(kVersion);
    case Problem::UnknownWord: return where + QStringLiteral("unknown word \"%1\"").arg(word);
    case Problem::StepOutOfRange: return where + QStringLiteral("step %1 is outside 1..8").arg(word);
    case Problem::StepTwice: return where + QStringLiteral("step %1 was already given on line %2").arg(word).arg(other);
    case Problem::MissingGroup: return where + QStringLiteral("the step has no \"%1\" group").arg(word);
    case Problem::TwiceInGroup: return where + QStringLiteral("%1 is listed twice in one group").arg(word);
    case Problem::AndAndOr: return where + QStringLiteral("%1 is in both the AND and the OR group").arg(word);
    case Problem::OutputTwice: return where + QStringLiteral("%1 is already an output of step %2").arg(word).arg(other);
    case Problem::NameTwice: return where + QStringLiteral("the name of %1 was already given on line %2").arg(word).arg(other);
    case Problem::NameLineBreak: return where + QStringLiteral("the name of %1 holds a line break").arg(word);
    case Problem::ReadError: return QStringLiteral("cannot read the file: %1").arg(system);
    case Problem::WriteError: return QStringLiteral("cannot write the file: %1").arg(system);
    }
    return QString();
}

QString Error::textZh() const
{
    const QString where = line > 0 ? QStringLiteral("第%1行：").arg(line) : QString();
    switch (problem) {
    case Problem::None: return QString();
    case Problem::TooLarge: return where + QStringLiteral("文件超过64KB");
    case Problem::NotUtf8: return where + QStringLiteral("不是UTF-8文本");
    case Problem::NoHeader: return where + QStringLiteral("应为“kestrune-program %1”").arg(kVersion);
    case Problem::NewerVersion:
        return where + QStringLiteral("格式版本%1高于本程序能读的版本%2").arg(other).arg(kVersion);
    case Problem::UnknownWord: return where + QStringLiteral("无法识别“%1”").arg(word);
    case Problem::StepOutOfRange: return where + QStringLiteral("步号%1超出1-8").arg(word);
    case Problem::StepTwice: return where + QStringLiteral("步号%1已在第%2行给出").arg(word).arg(other);
    case Problem::MissingGroup: return where + QStringLiteral("缺少“%1”组").arg(word);
    case Problem::TwiceInGroup: return where + QStringLiteral("%1在同一组中出现两次").arg(word);
    case Problem::AndAndOr: return where + QStringLiteral("%1同时在“输入和”与“输入或者”中").arg(word);
    case Problem::OutputTwice: return where + QStringLiteral("%1已是第%2步的输出").arg(word).arg(other);
    case Problem::NameTwice: return where + QStringLiteral("%1的名称已在第%2行给出").arg(word).arg(other);
    case Problem::NameLineBreak: return where + QStringLiteral("%1的名称含有换行").arg(word);
    case Problem::ReadError: return QStringLiteral("无法读取文件：%1").arg(system);
    case Problem::WriteError: return QStringLiteral("无法写入文件：%1").arg(system);
    }
    return QString();
}

Result parse(const QByteArray &bytes)
{
    Result r;
    if (bytes.size() > kMaxBytes) {
        r.error = err(Problem::TooLarge, int(bytes.left(kMaxBytes).count('\n')) + 1);
        return r;
    }
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);

    // LF never occurs inside a UTF-8 sequence, so the lines can be cut first
    // and each decoded on its own, which gives the line of a bad byte.
    QList<QByteArray> raw = data.split('\n');
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast();
    QStringList lines;
    for (int i = 0; i < raw.size(); ++i) {
        QByteArray b = raw.at(i);
        if (b.endsWith('\r'))
            b.chop(1);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(b);
        if (utf8.hasError()) {
            r.error = err(Problem::NotUtf8, i + 1);
            return r;
        }
        lines << text;
    }

    const QStringList header = lines.value(0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool versionOk = false;
    const int version = header.value(1).toInt(&versionOk);
    if (header.size() != 2 || header.at(0) != kHeaderWord || !versionOk || version < 1) {
        r.error = err(Problem::NoHeader, 1);
        return r;
    }
    if (version > kVersion) {
        r.error = err(Problem::NewerVersion, 1, QString(), version);
        return r;
    }

    std::array<int, 8> stepLine{};  // line where each step was given
    std::array<int, 8> outputStep{}; // step (1..8) that drives each output
    std::array<int, 16> nameLine{};
    Program &p = r.program;

    for (int i = 1; i < lines.size(); ++i) {
        const int line = i + 1;
        const QString &text = lines.at(i);
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const QString first = trimmed.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).toLower();

        if (first == QLatin1String("name")) {
            // name X00 = the rest of the line, verbatim after one space
            static const QRegularExpression re(QStringLiteral("^\\s*name\\s+([^\\s=]+)\\s*=(.*)$"),
                                               QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch m = re.match(text);
            if (!m.hasMatch()) {
                // No "=": the word where it should stand is the one refused.
                const QStringList w = trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const QString bad = w.size() < 2 || nameIndex(w.at(1)) < 0 ? w.value(1, w.at(0)) : w.value(2, w.at(0));
                r.error = err(Problem::UnknownWord, line, bad);
                return r;
            }
            const int k = nameIndex(m.captured(1));
            if (k < 0) {
                r.error = err(Problem::UnknownWord, line, m.captured(1));
                return r;
            }
            if (nameLine[k]) {
                r.error = err(Problem::NameTwice, line, ioName(k), nameLine[k]);
                return r;
            }
            QString value = m.captured(2);
            if (value.startsWith(QLatin1Char(' ')))
                value.remove(0, 1);
            // A CR inside the line (its end's CR is already gone) would
            // end the name's line in the file written from it.
            if (value.contains(QLatin1Char('\r'))) {
                r.error = err(Problem::NameLineBreak, line, ioName(k));
                return r;
            }
            p.names[k] = value;
            nameLine[k] = line;
            continue;
        }

        if (first != QLatin1String("step")) {
            r.error = err(Problem::UnknownWord, line, trimmed.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty));
            return r;
        }
        QString body = text;
        const int hash = body.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            body.truncate(hash);
        const QStringList words = body.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2) {
            r.error = err(Problem::MissingGroup, line, QStringLiteral("and"));
            return r;
        }
        bool numberOk = false;
        const int s = words.at(1).toInt(&numberOk);
        if (!numberOk) {
            r.error = err(Problem::UnknownWord, line, words.at(1));
            return r;
        }
        if (s < 1 || s > 8) {
            r.error = err(Problem::StepOutOfRange, line, words.at(1));
            return r;
        }
        if (stepLine[s - 1]) {
            r.error = err(Problem::StepTwice, line, QString::number(s), stepLine[s - 1]);
            return r;
        }
        LogicStep step;
        step.stepNo = uint8_t(s);
        int pos = 2;
        Error e = readGroup(words, &pos, QStringLiteral("and"), QStringLiteral("or"), QLatin1Char('X'), line, &step.andMask);
        if (!e)
            e = readGroup(words, &pos, QStringLiteral("or"), QStringLiteral("out"), QLatin1Char('X'), line, &step.orMask);
        if (!e)
            e = readGroup(words, &pos, QStringLiteral("out"), QString(), QLatin1Char('Y'), line, &step.outMask);
        if (e) {
            r.error = e;
            return r;
        }
        if (const uint8_t both = step.andMask & step.orMask) {
            r.error = err(Problem::AndAndOr, line, ioName(firstBit(both)));
            return r;
        }
        for (int k = 0; k < 8; ++k) {
            if (!(step.outMask & (1u << k)))
                continue;
            if (outputStep[k]) {
                r.error = err(Problem::OutputTwice, line, ioName(8 + k), outputStep[k]);
                return r;
            }
            outputStep[k] = s;
        }
        stepLine[s - 1] = line;
        p.steps[s - 1] = step;
    }
    return r;
}

Result load(const QString &path)
{
    Result r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        r.error.problem = Problem::ReadError;
        r.error.system = f.errorString();
        return r;
    }
    const QByteArray bytes = f.read(kMaxBytes + 1);
    if (f.error() != QFileDevice::NoError) {
        r.error.problem = Problem::ReadError;
        r.error.system = f.errorString();
        return r;
    }
    return parse(bytes);
}

Error checkRules(const Program &program)
{
    std::array<int, 8> outputStep{};
    for (int i = 0; i < 8; ++i) {
        const LogicStep &s = program.steps[i];
        if (const uint8_t both = s.andMask & s.orMask)
            return err(Problem::AndAndOr, 0, ioName(firstBit(both)));
        for (int k = 0; k < 8; ++k) {
            if (!(s.outMask & (1u << k)))
                continue;
            if (outputStep[k])
                return err(Problem::OutputTwice, 0, ioName(8 + k), outputStep[k]);
            outputStep[k] = i + 1;
        }
    }
    return Error();
}

Error format(const Program &program, QByteArray *out)
{
    QString text = QStringLiteral("%1 %2\n").arg(kHeaderWord).arg(kVersion);
    text += QStringLiteral("# Kestrune logic program. Per step: the AND inputs, the OR inputs and the\n"
                           "# outputs it drives (- for none). Names, when given, become the captions.\n");
    for (const LogicStep &s : program.steps) {
        text += QStringLiteral("step %1  and %2  or %3  out %4\n")
                    .arg(s.stepNo)
                    .arg(maskWords(s.andMask, QLatin1Char('X')), maskWords(s.orMask, QLatin1Char('X')),
                         maskWords(s.outMask, QLatin1Char('Y')));
    }
    bool first = true;
    for (int k = 0; k < 16; ++k) {
        const auto &name = program.names[k];
        if (!name)
            continue;
        if (name->contains(QLatin1Char('\n')) || name->contains(QLatin1Char('\r')))
            return err(Problem::NameLineBreak, 0, ioName(k));
        if (first)
            text += QLatin1Char('\n');
        first = false;
        text += name->isEmpty() ? QStringLiteral("name %1 =\n").arg(ioName(k))
                                : QStringLiteral("name %1 = %2\n").arg(ioName(k), *name);
    }
    const QByteArray bytes = text.toUtf8();
    // Never a file that reading refuses.
    if (bytes.size() > kMaxBytes)
        return err(Problem::TooLarge, 0);
    *out = bytes;
    return Error();
}

Error save(const QString &path, const Program &program)
{
    QByteArray bytes;
    if (Error e = format(program, &bytes))
        return e;
    QSaveFile f(path);
    Error e;
    e.problem = Problem::WriteError;
    if (!f.open(QIODevice::WriteOnly)) {
        e.system = f.errorString();
        return e;
    }
    if (f.write(bytes) != bytes.size()) {
        e.system = f.errorString();
        f.cancelWriting();
        return e;
    }
    if (!f.commit()) {
        e.system = f.errorString();
        return e;
    }
    return Error();
}

} // namespace programfile
