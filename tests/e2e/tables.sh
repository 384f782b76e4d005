# Sourced by the desktop tests that play a game to a score: a table that
# admits the score of a snake that eats nothing, and what it is after that.

# table_with_zero_at_rank_10 <file>: rank 10 holds 0, so a final score of 0
# is admitted. Checksum: scores 4500 + letter weights 34 - 90 = 4444.
table_with_zero_at_rank_10() {
  printf '%s' 'Ann~00900~Bea~00800~Cid~00700~Dana~00600~Emil~00500~Finn~00400~Gus~00300~Hal~00200~Ines~00100~Nobody~00000~04444' \
    >"$1"
}

# table_after_tessa <file>: that table after Tessa scored 0: ranks 1 to 9 as
# read (names padded to 44), then the new entry. Scores 4500, letter weights
# 34 - 0 (Nobody) + 6 (Tessa) = 40, minus 90.
table_after_tessa() {
  {
    local entry
    for entry in Ann:900 Bea:800 Cid:700 Dana:600 Emil:500 Finn:400 Gus:300 Hal:200 Ines:100; do
      printf '%-44s~%05d~' "${entry%%:*}" "${entry##*:}"
    done
    printf 'Tessa~00000~04450'
  } >"$1"
}
