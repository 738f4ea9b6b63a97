#!/usr/bin/python
# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
# License: see LICENSE at the collection root.
"""Module quorin_site: bring a site's boards to its site file, or audit them."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

DOCUMENTATION = r"""
---
module: quorin_site
short_description: Apply or audit a site file of serial-to-Ethernet boards
version_added: 0.1.0
description:
  - A site file (YAML or JSON) lists a site's boards, the settings each should hold and the lowest firmware each
    model should run.
  - With C(state=audited), runs C(quorinctl audit PATH --json) and returns the findings (settings that differ,
    firmware older than the site's minimum, boards missing). Findings are not a failure; the task never changes
    anything.
  - With C(state=applied), runs C(quorinctl apply PATH --json), which writes every board that differs, reads it back
    and compares. C(changed) is whether any board's result is C(changed).
    Boards that failed or did not answer fail the task, with every board's result.
  - With C(state=applied) in check mode, runs C(quorinctl plan PATH --json) instead and returns what apply would
    change; nothing is sent.
options:
  path:
    description:
      - The site file, on the host the task runs on.
    type: path
    required: true
  state:
    description:
      - C(applied) brings the boards to the site file; C(audited) only reports how far they are from it.
    type: str
    choices: [applied, audited]
    required: true
  jobs:
    description:
      - At most this many set requests outstanding (C(apply --jobs)).
    type: int
  journal:
    description:
      - Where C(quorinctl apply) writes its journal (C(--journal)); by default a new file under
        C(STATE_DIR/quorinctl/). A journal lets C(quorinctl rollback) write the boards back.
    type: path
extends_documentation_fragment:
  - quorin.boards.quorinctl
attributes:
  check_mode:
    support: full
    description: C(state=applied) runs C(quorinctl plan) and sends nothing; C(state=audited) is read-only anyway.
  diff_mode:
    support: full
    description:
      - Returns, per board, the fields that differ, as the boards hold them and as the site file wants them.
      - With C(state=applied) outside check mode this takes one more C(quorinctl plan) before the apply.
author:
  - QuorinConfigTool developers
"""

EXAMPLES = r"""
- name: See what the site file would change
  quorin.boards.quorin_site:
    path: /etc/quorin/plant-a.yml
    state: applied
  check_mode: true
  diff: true

- name: Bring plant A to its site file
  quorin.boards.quorin_site:
    path: /etc/quorin/plant-a.yml
    state: applied
    state_dir: /var/lib/quorin

- name: Nightly audit
  quorin.boards.quorin_site:
    path: /etc/quorin/plant-a.yml
    state: audited
  register: audit

- name: Fail when a board drifted
  ansible.builtin.assert:
    that: audit.compliant
    fail_msg: "{{ audit.findings }}"
"""

RETURN = r"""
findings:
  description:
    - C(state=audited) only. Every finding, as quorinctl prints it.
    - C(kind) is C(setting) (with C(field), C(now), C(wanted)), C(firmware) (with C(now), C(minimum)) or another
      kind quorinctl reports, such as a board that did not answer.
  returned: when state is audited
  type: list
  elements: dict
  sample:
    - mac: "02:51:00:02:00:00"
      kind: setting
      field: channel[0].local_port
      now: "5000"
      wanted: "4001"
compliant:
  description: C(state=audited) only. Whether quorinctl found nothing (exit status 0).
  returned: when state is audited
  type: bool
compliant_boards:
  description: C(state=audited) only. How many boards quorinctl counted as compliant.
  returned: when state is audited
  type: int
unlisted:
  description: Boards that answered but are not in the site file.
  returned: when state is audited, or applied in check mode
  type: list
missing:
  description: C(state=applied) in check mode. Boards of the site file that did not answer.
  returned: when state is applied in check mode
  type: list
boards:
  description:
    - C(state=applied). Outside check mode, every board's result from C(quorinctl apply)
      (C(mac), C(model), C(local_ip), C(result) one of C(changed), C(unchanged), C(failed), C(not_reached),
      C(not_started), C(changed) the fields written, C(message)).
    - In check mode, the boards of the plan (C(mac), C(model), C(local_ip), C(firmware), C(changes) each with
      C(field), C(now), C(wanted)); the plan's full settings and records are left out.
  returned: when state is applied
  type: list
  elements: dict
summary:
  description: C(state=applied) outside check mode. How many boards ended with each result.
  returned: when state is applied and not in check mode
  type: dict
  sample: {"changed": 2, "unchanged": 0, "failed": 0, "not_reached": 0, "not_started": 0}
journal:
  description: C(state=applied) outside check mode. The journal quorinctl wrote.
  returned: when state is applied and not in check mode
  type: str
status:
  description: The name of quorinctl's exit status (ok, failure, bad_input, changes_pending, partial, interrupted).
  returned: always
  type: str
cmd:
  description: The last quorinctl command line that ran.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quorin.boards.plugins.module_utils.quorinctl import (
    Quorinctl,
    module_options,
)

# The keys of a plan's board that the module returns (the settings and the
# record are whole boards' worth of data).
PLAN_BOARD_KEYS = ("mac", "model", "local_ip", "firmware", "changes")


def plan_boards(plan):
    """The plan's boards, without their full settings and records."""
    return [dict((key, board.get(key)) for key in PLAN_BOARD_KEYS if key in board)
            for board in plan.get("boards") or []]


def plan_diff(plan):
    """{before: {mac: {field: now}}, after: {mac: {field: wanted}}} for the boards that differ."""
    before, after = {}, {}
    for board in plan.get("boards") or []:
        changes = board.get("changes") or []
        if changes:
            before[board.get("mac")] = dict((change.get("field"), change.get("now")) for change in changes)
            after[board.get("mac")] = dict((change.get("field"), change.get("wanted")) for change in changes)
    return {"before": before, "after": after}


def plan_changes_anything(plan):
    """Whether any board of the plan has a change."""
    return any(board.get("changes") for board in plan.get("boards") or [])


def apply_changed(report):
    """Whether any board's apply result is 'changed'."""
    return any(board.get("result") == "changed" for board in report.get("boards") or [])


def failed_boards(report):
    """The boards whose apply result is neither changed nor unchanged."""
    return [board for board in report.get("boards") or []
            if board.get("result") not in ("changed", "unchanged")]


def audit(module, runner):
    """state=audited."""
    result = runner.run("audit", [module.params["path"]], accept=("ok", "changes_pending"))
    data = result.data
    module.exit_json(
        changed=False,
        findings=data.get("findings") or [],
        unlisted=data.get("unlisted") or [],
        compliant=result.status == "ok",
        compliant_boards=data.get("compliant"),
        status=result.status,
        cmd=result.command,
    )


def run_plan(runner, path):
    """Run quorinctl plan; return its result."""
    return runner.run("plan", [path], accept=("ok", "changes_pending"))


def apply(module, runner):
    """state=applied."""
    path = module.params["path"]
    if module.check_mode:
        planned = run_plan(runner, path)
        output = {
            "changed": plan_changes_anything(planned.data),
            "boards": plan_boards(planned.data),
            "missing": planned.data.get("missing") or [],
            "unlisted": planned.data.get("unlisted") or [],
            "status": planned.status,
            "cmd": planned.command,
        }
        if module._diff:  # pylint: disable=protected-access
            # AnsibleModule keeps diff mode only in this attribute.
            output["diff"] = plan_diff(planned.data)
        module.exit_json(**output)

    diff = None
    if module._diff:  # pylint: disable=protected-access
        diff = plan_diff(run_plan(runner, path).data)

    args = [path]
    if module.params["jobs"] is not None:
        args.extend(["--jobs", module.params["jobs"]])
    if module.params["journal"]:
        args.extend(["--journal", module.params["journal"]])
    result = runner.execute("apply", args)
    report = result.data
    if report is None:
        runner.fail(result, None if result.status != "ok" else
                    "quorinctl apply printed no usable JSON (%s)" % result.json_error)
    output = {
        "changed": apply_changed(report),
        "boards": report.get("boards") or [],
        "summary": report.get("summary") or {},
        "journal": report.get("journal"),
        "interrupted": bool(report.get("interrupted")),
        "status": result.status,
        "cmd": result.command,
    }
    if diff is not None:
        output["diff"] = diff
    failed = failed_boards(report)
    if result.status != "ok" or failed:
        macs = ", ".join("%s (%s)" % (board.get("mac"), board.get("result")) for board in failed)
        runner.fail(result, "quorinctl apply did not bring every board to the site file%s"
                    % (": " + macs if macs else ""), **output)
    module.exit_json(**output)


def main():
    """Audit, plan or apply a site file."""
    module = AnsibleModule(
        argument_spec=module_options(
            path={"type": "path", "required": True},
            state={"type": "str", "choices": ["applied", "audited"], "required": True},
            jobs={"type": "int"},
            journal={"type": "path"},
        ),
        supports_check_mode=True,
    )
    runner = Quorinctl(module)
    if module.params["state"] == "audited":
        audit(module, runner)
    else:
        apply(module, runner)


if __name__ == "__main__":
    main()
