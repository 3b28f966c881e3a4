"""The disk an end-to-end run plays: the shipped one, or one made from a
content pack (--pack), read from the pack's manifest as the build reads it."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from musicdisk_pack import DEFAULT_PACK, Pack, read_default_pack  # noqa: E402


class Disk:
    def __init__(self, pack=None):
        content = Pack(pack or DEFAULT_PACK)
        content.check_shape()
        if content.problems:
            raise ValueError("\n".join(content.problems))
        self.name = content.entries["name"].value
        self.titles = [title.value for _, title in content.tracks]
        # Songs as files the ahx tool renders, text forms included.
        self.songs = [song.path() for song, _ in content.tracks]
        self.skin = content.art("skin", read_default_pack())
        self.own_skin = pack is not None and "skin" in content.entries
