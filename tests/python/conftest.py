import os

import pytest

from pages import Command


@pytest.fixture(scope="session")
def program():
    return os.environ["SIEVETEXT_PROGRAM"]


@pytest.fixture
def command(program, tmp_path):
    return Command(program, str(tmp_path / "config"))
