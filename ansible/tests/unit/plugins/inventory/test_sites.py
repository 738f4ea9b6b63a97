# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
"""The sites inventory plugin on site files in a temporary folder."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

import json

import pytest

from ansible.errors import AnsibleParserError
from ansible.inventory.data import InventoryData
from ansible.parsing.dataloader import DataLoader
from ansible.plugins.loader import inventory_loader
from ansible.template import Templar

from ansible_collections.quorin.boards.plugins.inventory import sites

PLANT_A = """\
format_version: 1
site: plant-a
agent: agent-a.example
defaults:
  Quorin712P:
    channel[0].local_port: "4001"
    channel[0].use_dns: off
boards:
  - mac: "02:51:00:02:00:00"
    model: Quorin712P
    settings:
      local_ip: "127.0.1.1"
      channel[0].local_port: "4100"
  - mac: 02:51:00:02:00:01
    model: Quorin712P
  - mac: "02:51:00:06:00:00"
    model: DAVRO2xM
firmware_min:
  Quorin712P: "1.5.2"
"""

PLANT_B = {"format_version": 1, "boards": [{"mac": "0A:51:00:02:00:09", "model": "Quorin712P-T"}]}


def load(tmp_path, site_files, config_name="boards.quorin_sites.yml", extra=""):
    """Write the site files and a configuration naming them; parse it."""
    names = []
    for name, text in site_files.items():
        (tmp_path / name).write_text(text if isinstance(text, str) else json.dumps(text))
        names.append(name)
    config = tmp_path / config_name
    config.write_text("plugin: quorin.boards.sites\nsites:\n%s%s"
                      % ("".join("  - %s\n" % name for name in names), extra))
    inventory = InventoryData()
    loader = DataLoader()
    plugin = inventory_loader.get("quorin.boards.sites")
    plugin.templar = Templar(loader=loader)
    assert plugin.verify_file(str(config))
    plugin.parse(inventory, loader, str(config), cache=False)
    return inventory


def host_vars(inventory, name):
    """A host's own variables."""
    return inventory.get_host(name).vars


@pytest.mark.parametrize("host, expected", [
    ("02-51-00-02-00-00", {"quorin_mac": "02:51:00:02:00:00", "quorin_model": "Quorin712P",
                           "quorin_site": "plant-a", "quorin_agent": "agent-a.example",
                           "quorin_firmware_min": "1.5.2",
                           "quorin_settings": {"channel[0].local_port": "4100", "channel[0].use_dns": "off",
                                               "local_ip": "127.0.1.1"}}),
    ("02-51-00-02-00-01", {"quorin_mac": "02:51:00:02:00:01",
                           "quorin_settings": {"channel[0].local_port": "4001", "channel[0].use_dns": "off"}}),
    ("02-51-00-06-00-00", {"quorin_model": "DAVRO2xM", "quorin_settings": {}}),
    ("0a-51-00-02-00-09", {"quorin_mac": "0a:51:00:02:00:09", "quorin_site": "plant-b",
                           "quorin_agent": "localhost", "quorin_settings": {}}),
])
def test_board_variables(tmp_path, host, expected):
    """Each board's variables: its settings over its model's defaults; site names from the file."""
    inventory = load(tmp_path, {"plant-a.yml": PLANT_A, "plant-b.json": PLANT_B})
    variables = host_vars(inventory, host)
    for key, value in expected.items():
        assert variables[key] == value
    assert variables["quorin_site_file"].startswith(str(tmp_path))
    if expected.get("quorin_model") == "DAVRO2xM":
        assert "quorin_firmware_min" not in variables


@pytest.mark.parametrize("group, hosts", [
    ("site_plant_a", ["02-51-00-02-00-00", "02-51-00-02-00-01", "02-51-00-06-00-00"]),
    ("site_plant_b", ["0a-51-00-02-00-09"]),
    ("model_Quorin712P", ["02-51-00-02-00-00", "02-51-00-02-00-01"]),
    ("model_Quorin712P_T", ["0a-51-00-02-00-09"]),
    ("model_DAVRO2xM", ["02-51-00-06-00-00"]),
    ("quorin_boards", ["02-51-00-02-00-00", "02-51-00-02-00-01", "02-51-00-06-00-00", "0a-51-00-02-00-09"]),
    ("quorin_agents", ["agent-a.example"]),
    ("agent_plant_a", ["agent-a.example"]),
])
def test_groups(tmp_path, group, hosts):
    """site_ and model_ groups, sanitised; the agents of the sites that name one."""
    inventory = load(tmp_path, {"plant-a.yml": PLANT_A, "plant-b.json": PLANT_B})
    assert sorted(host.name for host in inventory.groups[group].get_hosts()) == hosts


def test_agent_serves_its_sites(tmp_path):
    """An agent named by two sites lists both."""
    other = PLANT_A.replace("plant-a", "plant-c").replace("02:51:00", "02:52:00")
    inventory = load(tmp_path, {"plant-a.yml": PLANT_A, "plant-c.yml": other})
    agent = host_vars(inventory, "agent-a.example")
    assert agent["quorin_sites"] == ["plant-a", "plant-c"]
    assert [path.rsplit("/", 1)[1] for path in agent["quorin_site_files"]] == ["plant-a.yml", "plant-c.yml"]


@pytest.mark.parametrize("written, expected", [
    ("10:20:30:40:50:59", "10:20:30:40:50:59"),   # base 60 in YAML 1.1
    ("12:00:00:00:00:05", "12:00:00:00:00:05"),
    ('"AA:BB:CC:00:11:22"', "aa:bb:cc:00:11:22"),
    ("02-51-00-02-00-07", "02:51:00:02:00:07"),
    ("02:51:00:02:00:7f", "02:51:00:02:00:7f"),
])
def test_unquoted_macs(tmp_path, written, expected):
    """However YAML read the MAC, the host is named after the address."""
    text = "format_version: 1\nboards:\n  - mac: %s\n    model: Quorin712P\n" % written
    inventory = load(tmp_path, {"site.yml": text})
    assert host_vars(inventory, expected.replace(":", "-"))["quorin_mac"] == expected


@pytest.mark.parametrize("files, message", [
    ({"a.yml": "format_version: 2\nboards: []\n"}, "format_version 2 is not 1"),
    ({"a.yml": "- 1\n- 2\n"}, "a site file is a mapping"),
    ({"a.yml": "format_version: 1\nboards:\n  - model: Quorin712P\n"}, "a board is a mapping with a mac"),
    ({"a.yml": "format_version: 1\nboards:\n  - mac: not-a-mac\n"}, "not a MAC address: not:a:mac"),
    ({"a.yml": "format_version: 1\nboards:\n  - mac: 70:00:00:00:00:00\n"}, "not a MAC address"),
    ({"a.yml": "format_version: 1\nboards: {}\n"}, "boards must be a list"),
    ({"a.yml": "format_version: 1\nboards:\n  - mac: '02:51:00:02:00:00'\n    settings: [1]\n"},
     "settings must be a mapping"),
    ({"a.yml": "format_version: 1\nboards:\n  - mac: '02:51:00:02:00:00'\n",
      "b.yml": "format_version: 1\nboards:\n  - mac: '02:51:00:02:00:00'\n"}, "is in"),
    ({"a.yml": "format_version: 1\nboards: [\n"}, "cannot read the site file"),
])
def test_bad_site_files(tmp_path, files, message):
    """A broken site file stops the inventory with its path and the reason."""
    with pytest.raises(AnsibleParserError) as error:
        load(tmp_path, files)
    assert message in str(error.value)


@pytest.mark.parametrize("name, accepted", [
    ("boards.quorin_sites.yml", True),
    ("quorin_sites.yaml", True),
    ("boards.yml", False),
    ("quorin_sites.json", False),
])
def test_verify_file(tmp_path, name, accepted):
    """Only configuration files named *quorin_sites.yml or .yaml."""
    path = tmp_path / name
    path.write_text("plugin: quorin.boards.sites\n")
    assert sites.InventoryModule().verify_file(str(path)) is accepted


def test_keyed_groups(tmp_path):
    """The constructed options work on the board variables."""
    inventory = load(tmp_path, {"plant-a.yml": PLANT_A},
                     extra="keyed_groups:\n  - key: quorin_firmware_min | default('none')\n    prefix: min\n")
    assert sorted(host.name for host in inventory.groups["min_1_5_2"].get_hosts()) == [
        "02-51-00-02-00-00", "02-51-00-02-00-01"]
