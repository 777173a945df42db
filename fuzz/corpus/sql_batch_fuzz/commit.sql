create table t (a, b);
insert into t values ('x;y', 1);
insert into t (b) select a from t;
update t set b = b + 1 where a like 'x%';
commit;
select * from t