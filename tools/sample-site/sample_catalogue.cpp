#include "sample_catalogue.h"

#include <QStringEncoder>
#include <QStringList>

#include <algorithm>
#include <array>

namespace kinolark::sample {

namespace {

// splitmix64: a fixed, fast stream of numbers for one title and one purpose.
struct Random
{
    explicit Random(quint64 seed) : state(seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL) {}
    quint64 next()
    {
        quint64 z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }
    template<typename List>
    const auto &pick(const List &list) { return list[size_t(below(int(std::size(list))))]; }
    quint64 state;
};

QString s(const char16_t *text)
{
    return QString::fromUtf16(text);
}

// Words that begin a name, by the pinyin initial of their first character.
// i, u and v begin no pinyin syllable; their names start with Latin letters.
const std::array<std::vector<const char16_t *>, 26> &openingWords()
{
    static const std::array<std::vector<const char16_t *>, 26> words{{
        {u"爱情", u"安娜", u"暗战", u"傲慢"},
        {u"白夜", u"北京", u"冰雪", u"八月", u"霸王"},
        {u"长城", u"春天", u"传说", u"超人", u"赤壁"},
        {u"大明", u"东方", u"帝国", u"地下", u"斗牛"},
        {u"恶魔", u"二十", u"饿狼", u"恩怨"},
        {u"飞虎", u"风声", u"非常", u"凤凰", u"疯狂"},
        {u"古城", u"功夫", u"鬼吹灯", u"国家", u"孤岛"},
        {u"黑客", u"火影", u"海上", u"花样", u"红色"},
        {u"IT", u"Ice", u"Iron", u"I Love"},
        {u"江南", u"金陵", u"九龙", u"绝地", u"剑侠"},
        {u"开心", u"狂野", u"恐龙", u"空中", u"快乐"},
        {u"龙门", u"老房子", u"蓝色", u"流星", u"乱世"},
        {u"美丽", u"梦想", u"魔幻", u"迷失", u"明天"},
        {u"南方", u"女人", u"怒火", u"宁静", u"逆战"},
        {u"欧洲", u"偶像", u"欧阳"},
        {u"破晓", u"平凡", u"飘零", u"普通", u"盘龙"},
        {u"七月", u"青春", u"情深", u"奇迹", u"千金"},
        {u"人间", u"热血", u"日落", u"如意", u"若水"},
        {u"三国", u"神探", u"少林", u"生死", u"死神"},
        {u"天下", u"铁道", u"唐朝", u"太极", u"逃亡"},
        {u"UFO", u"U型", u"Up", u"U-571"},
        {u"V字", u"VR", u"Viva", u"Venus"},
        {u"我的", u"无间", u"王朝", u"网络", u"万里"},
        {u"西游", u"小时代", u"新龙门", u"雪山", u"笑傲"},
        {u"一代", u"夜行", u"英雄", u"月光", u"妖猫"},
        {u"战狼", u"终极", u"真爱", u"紫禁城", u"追捕"},
    }};
    return words;
}

const std::vector<const char16_t *> &digitNames()
{
    static const std::vector<const char16_t *> names{u"1942", u"2012", u"007", u"24小时", u"3个白痴",
                                                     u"4个婚礼", u"5颗星", u"6号特工", u"8英里", u"9号秘事"};
    return names;
}

const std::vector<const char16_t *> &bracketTags()
{
    static const std::vector<const char16_t *> tags{u"[高清]", u"[蓝光]", u"[国语]", u"[粤语]"};
    return tags;
}

const std::vector<const char16_t *> &closingWords()
{
    static const std::vector<const char16_t *> words{
        u"之城", u"风云", u"传奇", u"英雄", u"故事", u"密码", u"行动", u"日记", u"时代", u"兄弟",
        u"少年", u"江湖", u"天下", u"归来", u"之王", u"之恋", u"大战", u"迷城", u"特工", u"侦探",
        u"家族", u"公主", u"战士", u"岁月", u"青春", u"往事", u"之夜", u"狂想曲", u"奇遇记", u"秘史"};
    return words;
}

const std::vector<const char16_t *> &suffixes()
{
    static const std::vector<const char16_t *> words{u"第二季", u"2", u"(国语版)", u"：终极之战", u"3D", u"续集"};
    return words;
}

const std::vector<const char16_t *> &people()
{
    static const std::vector<const char16_t *> names{u"张伟", u"王芳", u"李娜", u"刘洋", u"陈静", u"杨帆",
                                                     u"赵敏", u"黄磊", u"周杰", u"吴昊", u"孙丽", u"马云飞"};
    return names;
}

// Names whose pinyin a program easily gets wrong (长 in 长城 is chang, 行 in
// 银行 hang), each placed where its initial puts it among the first titles.
const std::vector<std::pair<int, const char16_t *>> &pinyinShowcase()
{
    static const std::vector<std::pair<int, const char16_t *>> names{
        {2 * 15, u"长城"},         {2 * 15 + 1, u"重庆森林"}, {24 * 15, u"银行风云"},
        {24 * 15 + 1, u"音乐之声"}, {15 * 15, u"便宜房客"},  {23 * 15, u"西藏七年"},
        {7 * 15, u"还珠格格"},      {3 * 15, u"大江大河"},  {26 * 15, u"007大破天门"},
    };
    return names;
}

qint64 idAt(int index)
{
    // A gap after every ten titles, as a real catalogue has where titles
    // were withdrawn.
    return 1 + index + index / 10;
}

SampleTitle makeTitle(int index)
{
    Random random{quint64(index)};
    SampleTitle title;
    title.id = idAt(index);
    const std::vector<int> &categories = SampleCatalogue::letteredCategories();
    title.category = categories[size_t(index) % categories.size()];

    const int initial = (index / int(categories.size())) % 28;
    QString first;
    QString rest = s(random.pick(closingWords()));
    if (initial < 26) {
        first = s(random.pick(openingWords()[size_t(initial)]));
        title.letter = QChar(u'a' + initial);
    } else if (initial == 26) {
        first = s(random.pick(digitNames()));
        title.letter = first.left(1);
        if (random.below(2) == 0)
            rest.clear();
    } else {
        first = s(random.pick(bracketTags())) + s(random.pick(openingWords()[size_t(random.below(26))]));
        title.letter = QStringLiteral("[");
    }
    if (index % 37 == 5)
        first += QStringLiteral("'s ");
    else if (index % 41 == 7)
        rest = QLatin1Char('"') + rest + QLatin1Char('"');
    // No field ever holds the answer's separators ("$", "&&"): the client
    // could only cut such a name. Tests that check how it does keep their
    // own malformed records.
    title.name = first + rest;
    if (random.below(4) == 0)
        title.name += s(random.pick(suffixes()));
    for (const auto &[at, name] : pinyinShowcase()) {
        if (index == at) {
            title.name = s(name);
            if (initial == 26)
                title.letter = title.name.left(1);
        }
    }
    if (index % 6 == 1)
        title.letter = title.letter.toUpper();
    if (index % 13 == 3)
        title.extra = QString::number(1980 + random.below(40));
    return title;
}

} // namespace

const std::vector<int> &SampleCatalogue::letteredCategories()
{
    static const std::vector<int> categories{15, 16, 17, 18, 19, 8, 9, 10, 11, 12, 13, 14, 22, 3, 4};
    return categories;
}

SampleCatalogue::SampleCatalogue(int titleCount)
{
    m_titles.reserve(size_t(qMax(titleCount, 0)));
    for (int i = 0; i < titleCount; ++i)
        m_titles.push_back(makeTitle(i));
}

const SampleTitle *SampleCatalogue::find(qint64 id) const
{
    const auto it = std::lower_bound(m_titles.cbegin(), m_titles.cend(), id,
                                     [](const SampleTitle &t, qint64 wanted) { return t.id < wanted; });
    return it != m_titles.cend() && it->id == id ? &*it : nullptr;
}

QString SampleCatalogue::allAnswer(qint64 above) const
{
    const auto from = std::upper_bound(m_titles.cbegin(), m_titles.cend(), above,
                                       [](qint64 wanted, const SampleTitle &t) { return wanted < t.id; });
    QString answer;
    answer.reserve((m_titles.cend() - from) * 24);
    const QLatin1Char dollar('$');
    for (auto it = from; it != m_titles.cend(); ++it) {
        answer += QString::number(it->id) + dollar + QString::number(it->category) + dollar + it->name + dollar
                  + it->letter;
        if (!it->extra.isEmpty())
            answer += dollar + it->extra;
        answer += QLatin1String("&&");
    }
    return answer;
}

QString SampleCatalogue::playList(qint64 id) const
{
    const SampleTitle *title = find(id);
    if (!title)
        return QString();
    const int index = int(title - m_titles.data());
    Random random(quint64(index) ^ 0xD1B54A32D192ED03ULL);
    if (index % 12 == 5)
        return index % 24 == 5 ? QString() : s(u"暂无播放地址");

    const QString separator = index % 5 == 2 ? QStringLiteral("\r\n") : QStringLiteral("\r");
    static const std::array<const char16_t *, 3> schemes{u"bdhd:", u"http:", u"qvod:"};
    const QString scheme = s(schemes[size_t(index) % schemes.size()]);
    const QString host = QStringLiteral("vod%1.sample-media.example").arg(1 + random.below(4));
    const QString folder = index % 29 == 9 ? QStringLiteral("it's") : QString::number(title->id);

    QStringList lines;
    if (index % 17 == 4)
        lines << s(u"播放列表");
    int episodes;
    const int category = title->category;
    const bool series = (category >= 15 && category <= 19) || category == 3 || category == 4;
    if (index == 12)
        episodes = 1600; // a long-running cartoon: more lines than a fixed table holds
    else if (category == 4)
        episodes = 8 + random.below(20);
    else if (series)
        episodes = 12 + random.below(34);
    else
        episodes = 1 + random.below(3);
    episodes += addedEpisodes(id);
    static const std::array<const char16_t *, 3> versions{u"高清版", u"国语版", u"粤语版"};
    for (int e = 1; e <= episodes; ++e) {
        QString name;
        if (category == 4)
            name = QStringLiteral("2013%1%2期").arg(1 + (e - 1) / 28, 2, 10, QLatin1Char('0'))
                       .arg(1 + (e - 1) % 28, 2, 10, QLatin1Char('0'));
        else if (series)
            name = s(u"第") + QStringLiteral("%1").arg(e, episodes >= 100 ? 3 : 2, 10, QLatin1Char('0')) + s(u"集");
        else
            name = s(versions[size_t(e - 1) % versions.size()]);
        lines << name + QLatin1Char('$') + scheme + QStringLiteral("//") + host + QLatin1Char('/') + folder
                     + QStringLiteral("/%1.rmvb").arg(e);
    }
    if (index % 19 == 6)
        lines << s(u"备用线路//backup.sample-media.example/") + QString::number(title->id);
    QString answer = lines.join(separator);
    if (index % 3 == 0)
        answer += separator;
    return answer;
}

bool SampleCatalogue::addEpisodes(qint64 id, int count)
{
    if (!find(id) || count < 0)
        return false;
    m_added[id] += count;
    return true;
}

int SampleCatalogue::addedEpisodes(qint64 id) const
{
    return m_added.value(id);
}

QString SampleCatalogue::description(qint64 id) const
{
    const SampleTitle *title = find(id);
    if (!title)
        return QString();
    const int index = int(title - m_titles.data());
    Random random(quint64(index) ^ 0x8CB92BA72F3D8DD7ULL);
    const QString name = title->name;
    QString html = s(u"<p>　　《") + name + s(u"》讲述了") + s(random.pick(people())) + s(u"与")
                   + s(random.pick(people())) + s(u"之间的故事&hellip;&hellip;</p>");
    html += s(u"<p>主演：") + s(random.pick(people())) + QStringLiteral("&middot;") + s(random.pick(people()))
            + QStringLiteral("&nbsp;&nbsp;") + s(random.pick(people())) + QStringLiteral("</p>");
    html += s(u"<br>导演：") + s(random.pick(people()));
    html += s(u"<br>一句话影评：&ldquo;") + s(random.pick(closingWords())) + s(u"，不容错过&rdquo;");
    if (index % 7 == 0)
        html += s(u"<p><b>评分：8 > 7</b></p>");
    if (!inGb2312(id) && index % 10 == 0)
        html += s(u"<p>推荐 🎬🍿</p>");
    return html;
}

QByteArray SampleCatalogue::encode(const QString &text, bool gb2312)
{
    if (!gb2312)
        return text.toUtf8();
    QStringEncoder gbk("GBK");
    return gbk.encode(text);
}

} // namespace kinolark::sample
