"""The scenarios: what a person does in the window, what the simulated services do on the other side,
and what the person must see and the disk must hold at the end."""

import time

from player import SETUP_CODE, WORKSPACE_CODE
from window import Stuck

CODE_FIELD = dict(role="password text")
SHEET = dict(name="刷新状态", role="push button")  # the channel binding sheet is up


# What a person does

def permissions(p, confirm_by_hand=False, grant_on_return=()):
    """Follows the permission steps to the code form: starts each step's check and, when sent to System
    Settings, grants the permission there (the knobs in `grant_on_return`) and comes back; confirms
    Full Disk Access by hand when `confirm_by_hand`."""
    seen, deadline = set(), time.monotonic() + 120
    while not p.windows.find(**CODE_FIELD):
        if time.monotonic() > deadline:
            raise Stuck("the permission steps did not end")
        step = p.windows.find(contains="当前步骤：")
        if step and step.name not in seen:
            seen.add(step.name)
            p.shot(f"permission-{len(seen)}")
        if p.windows.find(name="打开系统设置", role="push button"):  # the prompt before System Settings
            p.shot(f"permission-{len(seen)}-prompt")
            p.windows.click("打开系统设置")
        elif confirm_by_hand and p.windows.find(name="我已在系统设置中开启", role="push button"):
            p.shot("full-disk-access-by-hand")
            p.windows.click("我已在系统设置中开启")
        elif (start := p.windows.find(name="开始授权", role="push button")) and start.enabled:
            try:
                p.windows.click("开始授权", timeout=3)
            except Stuck:
                pass  # the step ended on its own meanwhile
        elif p.windows.find(name="等待自动识别", role="push button"):
            p.shot("sent-to-settings")
            p.set(**dict.fromkeys(grant_on_return, "granted"))
            p.activate()
        time.sleep(0.5)


def enter_code(p, code, agent_name=None):
    p.windows.wait(timeout=60, **CODE_FIELD)
    p.shot("code-form")
    p.windows.type_into("", code.replace("-", "").lower(), role="password text")
    if agent_name:
        p.windows.type_into("新 Agent 名称", agent_name)
    p.shot("code-entered")
    p.windows.click("继续设置")


def bind_channel(p):
    """The sheet offers the binding page, the person opens it in the browser and the owner binds a
    channel there."""
    p.windows.wait(timeout=90, **SHEET)
    p.expect("Tallowmere 会在后台等待", timeout=30)
    p.shot("channel-sheet")
    opener = p.windows.wait(timeout=30, description="用系统浏览器打开 Channel 绑定页面。")
    p.windows.click(opener.name)
    p.windows.wait(lambda w: any("/owner/" in url for url in p.opened()), 20)
    p.simctl("owner", "complete")
    p.windows.wait_gone(timeout=60, **SHEET)


def dashboard_online(p, label="dashboard-online"):
    p.expect("Agent 已连接", "已绑定", timeout=90)
    p.shot(label)
    assert p.stage() == "none", f"the stage file still says {p.stage()!r}"


def recover(p, label, fix):
    """An error shows with its recovery button; the cause goes away and the person presses it."""
    p.expect("最后错误", timeout=90)
    p.shot(f"error-{label}")
    button = p.windows.find(description="执行建议的恢复操作。")
    assert button, "the error offers no recovery button"
    fix()
    p.windows.click(button.name)
    p.windows.wait_gone(timeout=30, name="最后错误")


def install(p, code=SETUP_CODE, **steps):
    permissions(p, **steps)
    enter_code(p, code)
    bind_channel(p)
    dashboard_online(p)


# The scenarios

def first_install(p):
    p.start()
    p.shot("start")
    install(p)
    assert "已配置" in " ".join(p.windows.texts())


def setup_tour(p):
    """A TMI1 code with a name, each stage of the setup screen shot on the way: the runtime with its
    package download, each permission step, the code form, the workspace card with its login page, and
    the daemon installation failing once; then through to the dashboard."""
    p.set(prepareDelayMs=2000, setupWorkspace="text", setupAuthorizationWaitMs=8000, daemonInstallExit=1)
    p.start()
    def downloading(w):
        """the package download under way"""
        bar = w.find(name="Tallowmere 安装进度", role="progress bar")
        return bar and "已安装" in bar.description and "已安装 0 个" not in bar.description
    p.windows.wait(downloading, 60)
    p.shot("runtime")
    permissions(p)
    enter_code(p, WORKSPACE_CODE, agent_name="sim-agent")
    p.windows.wait(timeout=60, name="完成 Google Workspace 授权", role="label")
    p.shot("workspace-card")
    p.windows.click("我已保存登录信息，打开授权页面")
    p.windows.wait(lambda w: any("accounts.google.com" in url for url in p.opened()), 20)
    recover(p, "daemon", lambda: p.set(daemonInstallExit=0))
    bind_channel(p)
    dashboard_online(p)
    assert p.simctl("get", "onboardingAgent") == "sim-agent"


def permission_trouble(p):
    p.set(screenRecording="denied", fullDiskAccess="denied")
    p.start()
    permissions(p, confirm_by_hand=True, grant_on_return=("screenRecording",))
    assert "fullDiskAccess" in (p.profile_file("mac-app-permissions-manual") or "")
    completed = p.profile_file("mac-app-permissions-completed") or ""
    assert all(k in completed for k in ("screenRecording", "accessibility", "automation")), completed


def recovery(p):
    p.set(prepareExit=1)
    p.start()
    recover(p, "runtime", lambda: p.set(prepareExit=0))
    permissions(p)
    p.set(setupOutcome="bootstrap_failed")
    enter_code(p, SETUP_CODE)
    recover(p, "setup", lambda: p.set(setupOutcome="ok", daemonInstallExit=1, daemonInstallDelayMs=2000))
    if p.windows.find(**CODE_FIELD):  # the code is asked for again
        enter_code(p, SETUP_CODE)
    recover(p, "daemon", lambda: p.set(daemonInstallExit=0))
    bind_channel(p)
    dashboard_online(p)


def binding_trouble(p):
    """The binding service refuses the first link (409), then fails (500), then answers slowly."""
    p.set(onboardingNextPost="conflict", onboardingReply="error")
    p.start()
    permissions(p)
    enter_code(p, SETUP_CODE)
    p.windows.wait(timeout=90, **SHEET)

    def failure_shown(w):
        """the failure on the sheet, with its buttons to try again"""
        button = w.find(name="刷新状态", role="push button")
        return button and button.enabled
    p.windows.wait(failure_shown, 60)
    p.shot("binding-failed", settle=0)  # the next poll of the service hides it again
    p.set(onboardingReply="slow", onboardingSlowMs=3000)
    p.windows.click("刷新状态")
    p.windows.wait(timeout=60, name="复制链接", role="push button")
    p.set(onboardingReply="ok")
    bind_channel(p)
    dashboard_online(p)


def killed(p):
    p.set(prepareDelayMs=1500, setupDelayMs=4000, daemonInstallDelayMs=4000)
    p.start()

    def kill_and_return(stage, working=0.0):
        p.windows.wait(lambda w: p.stage() == stage, 120)
        time.sleep(working)  # the stage's work is under way
        before = p.stage()
        p.shot(f"before-kill-{stage}")
        p.kill()
        assert p.stage() == before, f"the stage file changed to {p.stage()!r} when the application died"
        p.start()
        p.shot(f"restarted-{stage}")

    kill_and_return("runtime", 0.5)
    permissions(p)
    enter_code(p, SETUP_CODE)
    kill_and_return("setup", 1.5)
    enter_code(p, SETUP_CODE)  # a code is not kept: the person types it again
    kill_and_return("daemon", 1.0)
    kill_and_return("channel")
    bind_channel(p)
    dashboard_online(p)


def dashboard(p):
    p.simctl("publish", "1.1.0")  # newer than the version the installation brings
    p.start()
    install(p)
    p.windows.wait(timeout=60, name="更新", role="push button")
    p.shot("update-offered")
    p.windows.click("更新")
    def new_version(w):
        """the new version among the system lines"""
        return any("Agent 版本" in name and "1.1.0" in name for name in w.texts())
    p.windows.wait(new_version, 120)
    p.windows.wait_gone(timeout=30, contains="可更新")
    p.shot("updated")
    p.kill_agent()
    p.expect("未连接", timeout=90)
    p.shot("disconnected")
    p.open_panel()
    p.shot("panel")
    p.windows.click("重启 Agent")
    dashboard_online(p, "restarted")


ALL = {
    "first-install": first_install,
    "setup-tour": setup_tour,
    "permissions": permission_trouble,
    "recovery": recovery,
    "binding-trouble": binding_trouble,
    "killed": killed,
    "dashboard": dashboard,
}
