#!/usr/bin/python
# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
# License: see LICENSE at the collection root.
"""Module quorin_firmware: upgrade boards to a firmware image."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

DOCUMENTATION = r"""
---
module: quorin_firmware
short_description: Upload a firmware image to serial-to-Ethernet boards
version_added: 0.1.0
description:
  - Runs C(quorinctl upload IMAGE MAC... --json) on the host the task runs on. quorinctl checks the image against its
    manifest (C(IMAGE.json) beside the image, or C(manifest)), skips boards already at the manifest's version, uploads
    to the others, waits until each comes back and compares its firmware and settings.
  - C(changed) is whether any board's firmware after differs from its firmware before, or any board took a whole
    image (results C(verified), C(other_firmware), C(settings_changed), C(not_back), C(unverified)), as with
    C(reinstall).
  - Every board not C(verified) or C(skipped) fails the task, which returns every board's result.
  - In check mode runs C(quorinctl upload IMAGE MAC... --dry-run --json), which checks the image and the manifest,
    finds and judges every board and sends nothing; boards are C(would_upgrade), C(skipped) or C(refused), and a
    refused board fails the task as the upload would. This needs a quorinctl whose C(upload) has C(--dry-run).
options:
  macs:
    description:
      - The boards to upgrade, by MAC address (or IP address, as quorinctl takes them).
    type: list
    elements: str
    required: true
  image:
    description:
      - The firmware image file (C(.bin)) on the host the task runs on.
    type: path
    required: true
  manifest:
    description:
      - The image's manifest (C(--manifest)); by default quorinctl reads C(IMAGE.json) beside the image when there is
        one.
    type: path
  allow_older:
    description:
      - Upload to boards newer than the manifest's version (C(--allow-older)).
    type: bool
    default: false
  reinstall:
    description:
      - Upload to boards already at the manifest's version (C(--reinstall)).
    type: bool
    default: false
  ignore_compatible:
    description:
      - Upload to boards of models the manifest does not list (C(--ignore-compatible)).
    type: bool
    default: false
  canary:
    description:
      - Upgrade and verify the first K boards before the others start; a failure among them stops the run
        (C(--canary)).
    type: int
  max_failures:
    description:
      - After this many failures no new board starts (C(--max-failures); C(0) for no limit).
    type: int
  jobs:
    description:
      - At most this many boards at once (C(--jobs); quorinctl's default 4).
    type: int
  order:
    description:
      - Upgrade the boards as named, by MAC or by IP address (C(--order)).
    type: str
    choices: [named, mac, ip]
  verify_timeout:
    description:
      - Seconds an upgraded board has to answer a search again (C(--verify-timeout); quorinctl's default 120).
    type: int
extends_documentation_fragment:
  - quorin.boards.quorinctl
attributes:
  check_mode:
    support: full
    description: Runs C(quorinctl upload --dry-run), which sends no image.
  diff_mode:
    support: full
    description: Returns every board's firmware before and after (in check mode, the version it would get).
author:
  - QuorinConfigTool developers
"""

EXAMPLES = r"""
- name: Upgrade the site's boards, one canary first
  quorin.boards.quorin_firmware:
    macs: "{{ groups['site_plant_a'] | map('extract', hostvars, 'quorin_mac') | list }}"
    image: /srv/firmware/quorin712p-1.5.2.bin
    canary: 1
    max_failures: 1
    state_dir: /var/lib/quorin

- name: What would be upgraded
  quorin.boards.quorin_firmware:
    macs: ["02:51:00:02:00:00", "02:51:00:02:00:01"]
    image: /srv/firmware/quorin712p-1.5.2.bin
    manifest: /srv/firmware/quorin712p-1.5.2.json
  check_mode: true
"""

RETURN = r"""
boards:
  description:
    - Every board's result, as quorinctl prints it (C(mac), C(local_ip), C(model), C(firmware_before),
      C(firmware_after), C(result), C(message), C(changes) with C(field), C(before), C(after)).
    - C(result) is one of C(verified), C(other_firmware), C(settings_changed), C(not_back), C(failed),
      C(interrupted), C(unverified), C(not_started), C(skipped), C(refused), and in check mode C(would_upgrade).
  returned: when quorinctl printed its results
  type: list
  elements: dict
  sample:
    - mac: "02:51:00:02:00:00"
      local_ip: 127.0.1.1
      model: Quorin712P
      firmware_before: 1.5.0
      firmware_after: 1.5.2
      result: verified
      message: "verified: firmware 1.5.2, settings as before"
      changes: []
upgraded:
  description: The MAC addresses of the boards counted as changed.
  returned: when quorinctl printed its results
  type: list
  elements: str
failed_boards:
  description: The MAC addresses of the boards whose result is neither C(verified), C(skipped) nor C(would_upgrade).
  returned: when quorinctl printed its results
  type: list
  elements: str
image:
  description: The image as quorinctl read it.
  returned: when quorinctl printed its results
  type: dict
  sample: {"path": "fw.bin", "sha256": "10a7...", "size": 20000, "version": "1.5.2"}
status:
  description: The name of quorinctl's exit status (ok, failure, bad_input, partial, interrupted).
  returned: always
  type: str
cmd:
  description: The quorinctl command line that ran.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quorin.boards.plugins.module_utils.quorinctl import (
    Quorinctl,
    module_options,
)

# Results after which a board has taken a whole image.
TOOK_IMAGE = ("verified", "other_firmware", "settings_changed", "not_back", "unverified")
# Results that do not fail the task.
SUCCESS = ("verified", "skipped", "would_upgrade")

FLAGS = (("allow_older", "--allow-older"), ("reinstall", "--reinstall"),
         ("ignore_compatible", "--ignore-compatible"))
VALUED = (("manifest", "--manifest"), ("canary", "--canary"), ("max_failures", "--max-failures"),
          ("jobs", "--jobs"), ("order", "--order"), ("verify_timeout", "--verify-timeout"))


def upload_arguments(params, dry_run):
    """IMAGE MAC... then the options that are set."""
    args = [params["image"]] + list(params["macs"])
    if dry_run:
        args.append("--dry-run")
    for name, flag in VALUED:
        if params.get(name) is not None:
            args.extend([flag, params[name]])
    for name, flag in FLAGS:
        if params.get(name):
            args.append(flag)
    return args


def board_changed(board):
    """Whether a board's firmware changed or it took a whole image."""
    before = board.get("firmware_before") or ""
    after = board.get("firmware_after") or ""
    # quorinctl leaves firmware_after empty for boards it did not upload to
    # (skipped, failed, ...): an empty value is "not read", not a change.
    if after and before and after != before:
        return True
    return board.get("result") in TOOK_IMAGE


def firmware_diff(boards):
    """{before: {mac: version}, after: {mac: version or the manifest's}}."""
    before, after = {}, {}
    for board in boards:
        mac = board.get("mac")
        before[mac] = board.get("firmware_before") or ""
        after[mac] = board.get("firmware_after") or before[mac]
    return {"before": before, "after": after}


def main():
    """Upload, or judge the boards in check mode."""
    module = AnsibleModule(
        argument_spec=module_options(
            macs={"type": "list", "elements": "str", "required": True},
            image={"type": "path", "required": True},
            manifest={"type": "path"},
            allow_older={"type": "bool", "default": False},
            reinstall={"type": "bool", "default": False},
            ignore_compatible={"type": "bool", "default": False},
            canary={"type": "int"},
            max_failures={"type": "int"},
            jobs={"type": "int"},
            order={"type": "str", "choices": ["named", "mac", "ip"]},
            verify_timeout={"type": "int"},
        ),
        supports_check_mode=True,
    )
    if not module.params["macs"]:
        module.fail_json(msg="macs is empty: name at least one board")
    runner = Quorinctl(module)
    dry_run = module.check_mode
    result = runner.execute("upload", upload_arguments(module.params, dry_run))
    report = result.data
    if report is None or not isinstance(report.get("boards"), list):
        if dry_run and result.status == "bad_input" and "--dry-run" in result.stderr:
            runner.fail(result, "check mode needs 'quorinctl upload --dry-run', which this quorinctl does not have")
        runner.fail(result, None if result.status != "ok" else
                    "quorinctl upload printed no usable JSON (%s)" % (result.json_error or "no 'boards' list"))

    boards = report["boards"]
    if dry_run:
        upgraded = [board.get("mac") for board in boards if board.get("result") == "would_upgrade"]
    else:
        upgraded = [board.get("mac") for board in boards if board_changed(board)]
    failed = [board.get("mac") for board in boards if board.get("result") not in SUCCESS]
    output = {
        "changed": bool(upgraded),
        "boards": boards,
        "upgraded": upgraded,
        "failed_boards": failed,
        "image": {
            "path": report.get("image"),
            "sha256": report.get("sha256"),
            "size": report.get("size"),
            "version": report.get("version"),
        },
        "status": result.status,
        "cmd": result.command,
    }
    if module._diff:  # pylint: disable=protected-access
        # AnsibleModule keeps diff mode only in this attribute.
        output["diff"] = firmware_diff(boards)
        if dry_run and report.get("version"):
            for mac in upgraded:
                output["diff"]["after"][mac] = report["version"]
    if result.status != "ok" or failed:
        detail = ", ".join("%s (%s: %s)" % (board.get("mac"), board.get("result"), board.get("message"))
                           for board in boards if board.get("result") not in SUCCESS)
        runner.fail(result, "quorinctl upload %s%s" % (
            "judged boards it would refuse" if dry_run else "did not upgrade every board",
            ": " + detail if detail else ""), **output)
    module.exit_json(**output)


if __name__ == "__main__":
    main()
