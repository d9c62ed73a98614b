"""Prints, for every folder pypff sees with messages in it: name, message count, the subjects of
the first and the last message."""
import sys

import pypff


def walk(folder):
    n = folder.get_number_of_sub_messages()
    if n:
        print(folder.name, n, folder.get_sub_message(0).subject, folder.get_sub_message(n - 1).subject, sep=" | ")
    for i in range(folder.get_number_of_sub_folders()):
        walk(folder.get_sub_folder(i))


f = pypff.file()
f.open(sys.argv[1])
walk(f.get_root_folder())
