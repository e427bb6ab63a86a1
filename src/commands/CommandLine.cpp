#include "commands/CommandLine.h"

#include "commands/Diagnostics.h"
#include "commands/StatusCommand.h"
#include "platform/Bundle.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace tallowmere::commands {

namespace {

constexpr int usageError = 64; // EX_USAGE

const char usage[] =
    "用法：tallowmere-mac [命令]\n"
    "\n"
    "不带命令时打开 Tallowmere 窗口。\n"
    "\n"
    "命令：\n"
    "  status [--json]       查看 Agent 状态（退出码：0 就绪，1 已响应但未就绪或安装未完成，2 无法连接或未配置）\n"
    "  diagnostics [文件]    写入诊断包（.tar.gz），其中的安装码、邮箱、密码、令牌和链接参数均已隐藏\n"
    "  --help                显示本帮助\n"
    "  --version             显示版本\n";

int refuse(const QString &what)
{
    std::fprintf(stderr, "tallowmere-mac: %s\n运行 tallowmere-mac --help 查看用法。\n", qPrintable(what));
    return usageError;
}

} // namespace

std::optional<int> run(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // The window's own option: no command.
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--screenshot"))
        return std::nullopt;

    const QString command = arguments.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (command == QLatin1String("--version")) {
        std::printf("tallowmere-mac %s\n", qPrintable(platform::bundleShortVersion().value_or(QStringLiteral("--"))));
        return 0;
    }
    if (command == QLatin1String("status")) {
        if (arguments.size() > 1 || (arguments.size() == 1 && arguments.first() != QLatin1String("--json")))
            return refuse(QStringLiteral("status 不认识的参数：") + arguments.join(u' '));
        QCoreApplication app(argc, argv);
        return printStatus(!arguments.isEmpty());
    }
    if (command == QLatin1String("diagnostics")) {
        if (arguments.size() > 1 || (arguments.size() == 1 && arguments.first().startsWith(u'-')))
            return refuse(QStringLiteral("diagnostics 不认识的参数：") + arguments.join(u' '));
        QCoreApplication app(argc, argv);
        return writeDiagnostics(arguments.isEmpty() ? std::nullopt : std::optional(arguments.first()));
    }
    return refuse(QStringLiteral("不认识的命令或选项：") + command);
}

} // namespace tallowmere::commands
